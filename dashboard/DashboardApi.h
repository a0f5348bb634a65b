#pragma once
// The dashboard's JSON API: a request's path and parameters, checked, turned
// into bound queries and answered as one JSON object. Used by the HTTP server
// and by `results --spc --json`, so both give the same object.

#include "DashboardDb.h"

#include <QDateTime>
#include <QJsonObject>
#include <QUrlQuery>

#include <optional>
#include <string>

namespace mirantos::dashboard {

struct TApiAnswer {
    int status = 200; // 200, 400 (a bad parameter, with "error"), 404, 503 (the database)
    QJsonObject body;
};

// Limits on what a request may ask.
inline constexpr int kMaxParameters = 12;
inline constexpr int kMaxParameterLength = 200;
inline constexpr int kMaxPeriodDays = 400;
inline constexpr int kMaxFigurePoints = 50000;

// GET /api/<name>: overview, figure, serial, station, latest. `now` fixes
// "today" (local days; stored times are UTC).
TApiAnswer Api(TDashboardDb& db, const QString& name, const QUrlQuery& query, const QDateTime& now);

// The period a request names: period=today|7d|30d, or from=YYYY-MM-DD&to=YYYY-MM-DD
// (local dates, both included). Nullopt with `error`.
std::optional<TPeriod> ParsePeriod(const QUrlQuery& query, const QDateTime& now,
                                   const QString& fallback, std::string& error);

// The figure object (points, control chart, histogram, capability). The
// `version` is filled in when it was empty.
struct TFigureRequest {
    std::string test, version, figure;
    int channel = 0;
    TPeriod period;
    bool withSimulated = false;
};
TApiAnswer FigureAnswer(TDashboardDb& db, TFigureRequest request);

} // namespace mirantos::dashboard
