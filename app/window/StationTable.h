#pragma once
// The noise test's result as people read it, one table for the result window
// and its certificate alike: each figure by the noise window's Japanese name
// with its unit ("RMSノイズ [µV]"), the value, the limit, 合格/不合格 and the margin.

#include "Verdict.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace mirantos {

// "RMSノイズ [µV]", "帯域RMSノイズ (0.1 〜 10 Hz) [µV]"; a figure without a
// Japanese name is shown by its key.
QString StationFigureName(const station::TLimit& limit);

enum StationColumn { ColChannel, ColFigure, ColValue, ColLimit, ColVerdict, ColMargin };
// The columns' titles, in StationColumn's order.
QStringList StationHeader();
// One row per check, in StationColumn's order.
std::vector<QStringList> StationRows(const station::TVerdict& verdict);

} // namespace mirantos
