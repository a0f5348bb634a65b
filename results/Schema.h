#pragma once
// The schema's steps, one per version, for both engines. Private to results/.

#include "ResultsDb.h"

#include <QString>

#include <vector>

namespace mirantos::results {

// The statements that bring the schema from version `from` to `from + 1`,
// run in order inside the upgrade's one transaction.
std::vector<QString> SchemaStep(int from, TDbTarget::Engine engine);

// How a time column is read back: ISO 8601 UTC text with milliseconds in both
// engines (PostgreSQL keeps `timestamptz`, SQLite that text itself).
QString TimeText(const QString& column, bool pg);

} // namespace mirantos::results
