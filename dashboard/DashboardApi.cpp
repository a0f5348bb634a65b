// The JSON API: parameters checked before any query, then bound.

#include "DashboardApi.h"

#include "Limits.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <map>

namespace mirantos::dashboard {

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

QJsonValue J(const std::optional<double>& v)
{
    return v ? QJsonValue(*v) : QJsonValue(QJsonValue::Null);
}

QString IsoUtc(const QDateTime& t)
{
    return t.toUTC().toString("yyyy-MM-ddTHH:mm:ss.zzz") + "Z";
}

TApiAnswer BadRequest(const std::string& reason)
{
    return TApiAnswer{400, QJsonObject{{"error", Q(reason)}}};
}

TApiAnswer DbFailed(EDbState state, const std::string& message)
{
    return TApiAnswer{503, QJsonObject{{"error", Q(message)}, {"state", DbStateName(state)}}};
}

// A name the pages send back: printable, no control characters, bounded.
bool PlainText(const QString& v)
{
    if (v.isEmpty() || v.size() > kMaxParameterLength)
        return false;
    for (QChar c : v)
        if (c.category() == QChar::Other_Control)
            return false;
    return true;
}

std::string UnitOf(const std::string& figure)
{
    const station::TFigureInfo* f = station::FindFigure(figure);
    return f ? std::string(f->unit) : std::string();
}

QJsonObject PeriodJson(const TPeriod& p)
{
    return {{"from_utc", Q(p.fromUtc)}, {"to_utc", Q(p.toUtc)}};
}

QJsonObject YieldJson(const TYield& y)
{
    return {{"runs", y.runs},
            {"serials", y.serials},
            {"first_pass", y.firstPass},
            {"final_pass", y.finalPass},
            {"first_pass_yield", J(y.firstPassYield)},
            {"final_yield", J(y.finalYield)}};
}

QJsonObject RunJson(const TRunRow& r)
{
    return {{"uuid", Q(r.uuid)},
            {"serial", Q(r.serial)},
            {"test", Q(r.test)},
            {"version", Q(r.version)},
            {"station", Q(r.station)},
            {"operator", Q(r.operatorName)},
            {"started_utc", Q(r.startedUtc)},
            {"pass", r.pass},
            {"outcome", Q(r.outcome)},
            {"received_utc", r.receivedUtc.empty() ? QJsonValue() : QJsonValue(Q(r.receivedUtc))},
            {"late", r.late},
            {"simulated", r.simulated}};
}

// Yield of the runs grouped by `key`, in key order.
QJsonArray YieldBy(const std::vector<TRunRow>& runs, const std::string TRunRow::*key,
                   const char* name)
{
    std::map<std::string, std::vector<TYieldRun>> groups;
    for (const TRunRow& r : runs)
        groups[r.*key].push_back(TYieldRun{r.serial, r.startedUtc, r.pass});
    QJsonArray out;
    for (auto& [k, g] : groups) {
        QJsonObject o = YieldJson(ComputeYield(std::move(g)));
        o.insert(name, Q(k));
        out.append(o);
    }
    return out;
}

QJsonObject IndexJson(const TIndex& i)
{
    return {{"value", J(i.value)}, {"reason", Q(i.reason)}};
}

bool WithSimulated(const QUrlQuery& query)
{
    return query.queryItemValue("sim") == "1";
}

TApiAnswer Overview(TDashboardDb& db, const QUrlQuery& query, const QDateTime& now)
{
    std::string error;
    const auto period = ParsePeriod(query, now, "today", error);
    if (!period)
        return BadRequest(error);
    const bool sim = WithSimulated(query);
    std::vector<TRunRow> runs;
    std::vector<TParetoRow> pareto;
    if (!db.RunsIn(*period, sim, "", runs, error) || !db.Pareto(*period, sim, pareto, error))
        return DbFailed(EDbState::Down, error);
    std::vector<TYieldRun> all;
    std::map<std::string, std::pair<int, int>> hours; // "YYYY-MM-DDTHH": runs, passed
    std::map<std::string, const TRunRow*> newestOfTest;
    for (const TRunRow& r : runs) {
        all.push_back(TYieldRun{r.serial, r.startedUtc, r.pass});
        auto& h = hours[r.startedUtc.substr(0, 13)];
        ++h.first;
        h.second += r.pass;
        const TRunRow*& newest = newestOfTest[r.test];
        if (!newest || newest->startedUtc < r.startedUtc)
            newest = &r;
    }
    QJsonArray perHour;
    for (const auto& [hour, counts] : hours)
        perHour.append(QJsonObject{
            {"hour_utc", Q(hour + ":00:00Z")}, {"runs", counts.first}, {"passed", counts.second}});
    QJsonArray paretoJson;
    for (const TParetoRow& p : pareto)
        paretoJson.append(QJsonObject{{"test", Q(p.test)},
                                      {"channel", p.channel},
                                      {"figure", Q(p.figure)},
                                      {"unit", Q(UnitOf(p.figure))},
                                      {"failures", static_cast<double>(p.failures)}});
    // The figures each test stored in its newest run of the period: the figure pages to link.
    std::vector<std::string> newest;
    std::map<std::string, std::string> testOfRun;
    for (const auto& [test, run] : newestOfTest) {
        newest.push_back(run->uuid);
        testOfRun[run->uuid] = test;
    }
    std::vector<TDashboardDb::TRunFigure> list;
    if (!db.FiguresOfRuns(newest, list, error))
        return DbFailed(EDbState::Down, error);
    std::stable_sort(list.begin(), list.end(), [&](const auto& a, const auto& b) {
        return testOfRun[a.uuid] < testOfRun[b.uuid];
    });
    QJsonArray figures;
    for (const TDashboardDb::TRunFigure& f : list)
        figures.append(QJsonObject{{"test", Q(testOfRun[f.uuid])},
                                   {"channel", f.channel},
                                   {"figure", Q(f.figure)},
                                   {"unit", Q(UnitOf(f.figure))}});
    QJsonObject body = YieldJson(ComputeYield(std::move(all)));
    body.insert("period", PeriodJson(*period));
    body.insert("by_test", YieldBy(runs, &TRunRow::test, "test"));
    body.insert("by_station", YieldBy(runs, &TRunRow::station, "station"));
    body.insert("per_hour", perHour);
    body.insert("pareto", paretoJson);
    body.insert("figures", figures);
    return TApiAnswer{200, body};
}

TApiAnswer Figure(TDashboardDb& db, const QUrlQuery& query, const QDateTime& now)
{
    std::string error;
    const auto period = ParsePeriod(query, now, "30d", error);
    if (!period)
        return BadRequest(error);
    TFigureRequest r;
    r.period = *period;
    r.withSimulated = WithSimulated(query);
    const QString test = query.queryItemValue("test", QUrl::FullyDecoded);
    const QString version = query.queryItemValue("version", QUrl::FullyDecoded);
    const QString figure = query.queryItemValue("figure", QUrl::FullyDecoded);
    const QString channel = query.queryItemValue("channel");
    if (!PlainText(test))
        return BadRequest("test: give the test's name (up to 200 characters)");
    if (!version.isEmpty() && !PlainText(version))
        return BadRequest("version: up to 200 characters");
    static const QRegularExpression figureName("^[A-Za-z0-9_.]{1,64}$");
    if (!figureName.match(figure).hasMatch())
        return BadRequest("figure: a figure name such as rms_uV");
    bool ok = true;
    r.channel = channel.isEmpty() ? 0 : channel.toInt(&ok);
    if (!ok || r.channel < 0 || r.channel > 15)
        return BadRequest("channel: a number from 0 to 15");
    r.test = test.toStdString();
    r.version = version.toStdString();
    r.figure = figure.toStdString();
    return FigureAnswer(db, std::move(r));
}

TApiAnswer Serial(TDashboardDb& db, const QUrlQuery& query)
{
    const QString serial = query.queryItemValue("serial", QUrl::FullyDecoded);
    if (!PlainText(serial))
        return BadRequest("serial: give a serial (up to 200 characters)");
    std::vector<TSerialRun> runs;
    std::string error;
    if (!db.Serial(serial.toStdString(), runs, error))
        return DbFailed(EDbState::Down, error);
    QJsonArray list;
    for (const TSerialRun& s : runs) {
        QJsonArray figures;
        for (const TSerialFigure& f : s.figures) {
            // Margin: how far inside its nearest limit the value lies (negative: outside).
            std::optional<double> margin;
            if (f.value && f.high)
                margin = *f.high - *f.value;
            if (f.value && f.low)
                margin = std::min(margin.value_or(*f.value - *f.low), *f.value - *f.low);
            figures.append(QJsonObject{{"channel", f.channel},
                                       {"figure", Q(f.figure)},
                                       {"unit", Q(UnitOf(f.figure))},
                                       {"value", J(f.value)},
                                       {"low", J(f.low)},
                                       {"high", J(f.high)},
                                       {"margin", J(margin)},
                                       {"pass", f.pass}});
        }
        QJsonObject o = RunJson(s.run);
        o.insert("figures", figures);
        list.append(o);
    }
    return TApiAnswer{200, QJsonObject{{"serial", serial}, {"runs", list}}};
}

TApiAnswer Station(TDashboardDb& db, const QUrlQuery& query, const QDateTime& now)
{
    std::string error;
    const auto period = ParsePeriod(query, now, "7d", error);
    if (!period)
        return BadRequest(error);
    const QString station = query.queryItemValue("station", QUrl::FullyDecoded);
    if (!PlainText(station))
        return BadRequest("station: give a station's name (up to 200 characters)");
    std::vector<TRunRow> runs;
    if (!db.RunsIn(*period, WithSimulated(query), station.toStdString(), runs, error))
        return DbFailed(EDbState::Down, error);
    std::sort(runs.begin(), runs.end(),
              [](const TRunRow& a, const TRunRow& b) { return a.startedUtc < b.startedUtc; });
    std::vector<TYieldRun> all;
    QJsonArray list;
    for (const TRunRow& r : runs) {
        all.push_back(TYieldRun{r.serial, r.startedUtc, r.pass});
        list.append(RunJson(r));
    }
    QJsonObject body = YieldJson(ComputeYield(std::move(all)));
    body.insert("station", station);
    body.insert("period", PeriodJson(*period));
    body.insert("list", list);
    // Runs stored late came through the station's spool; runs stored before the
    // database kept receive times cannot tell and are counted apart.
    const auto late =
        std::count_if(runs.begin(), runs.end(), [](const TRunRow& r) { return r.late; });
    const auto unknown = std::count_if(runs.begin(), runs.end(),
                                       [](const TRunRow& r) { return r.receivedUtc.empty(); });
    body.insert("spool", QJsonObject{{"late_runs", static_cast<double>(late)},
                                     {"unknown_runs", static_cast<double>(unknown)}});
    return TApiAnswer{200, body};
}

TApiAnswer Latest(TDashboardDb& db)
{
    TLatest latest;
    std::string error;
    if (!db.Latest(latest, error))
        return DbFailed(EDbState::Down, error);
    return TApiAnswer{200, QJsonObject{{"id", static_cast<double>(latest.id)},
                                       {"uuid", Q(latest.uuid)},
                                       {"started_utc", Q(latest.startedUtc)},
                                       {"listening", db.Listening()}}};
}

} // namespace

std::optional<TPeriod> ParsePeriod(const QUrlQuery& query, const QDateTime& now,
                                   const QString& fallback, std::string& error)
{
    const QDate today = now.toLocalTime().date();
    QDate from, to = today;
    const QString fromText = query.queryItemValue("from"), toText = query.queryItemValue("to");
    if (query.hasQueryItem("from") || query.hasQueryItem("to")) {
        if (query.hasQueryItem("period")) {
            error = "give period or from and to, not both";
            return std::nullopt;
        }
        from = QDate::fromString(fromText, Qt::ISODate);
        to = QDate::fromString(toText, Qt::ISODate);
        if (!from.isValid() || !to.isValid() || fromText.size() != 10 || toText.size() != 10) {
            error = "from and to: dates as YYYY-MM-DD";
            return std::nullopt;
        }
        if (to < from || from.daysTo(to) >= kMaxPeriodDays) {
            error = "from..to: from on or before to, at most " + std::to_string(kMaxPeriodDays) +
                    " days";
            return std::nullopt;
        }
    } else {
        const QString period =
            query.hasQueryItem("period") ? query.queryItemValue("period") : fallback;
        if (period == "today")
            from = today;
        else if (period == "7d")
            from = today.addDays(-6);
        else if (period == "30d")
            from = today.addDays(-29);
        else {
            error = "period: today, 7d or 30d (or from and to)";
            return std::nullopt;
        }
    }
    const QTimeZone local = QTimeZone::systemTimeZone();
    return TPeriod{IsoUtc(QDateTime(from, QTime(0, 0), local)).toStdString(),
                   IsoUtc(QDateTime(to.addDays(1), QTime(0, 0), local)).toStdString()};
}

TApiAnswer FigureAnswer(TDashboardDb& db, TFigureRequest r)
{
    std::vector<TFigurePoint> points;
    bool truncated = false;
    std::string error;
    if (!db.Figure(r.test, r.version, r.channel, r.figure, r.period, r.withSimulated,
                   kMaxFigurePoints, points, truncated, error))
        return DbFailed(EDbState::Down, error);
    std::vector<double> x;
    for (const TFigurePoint& p : points)
        x.push_back(p.value);
    // Capability against the limits of the newest run: the limits file in force.
    const std::optional<double> low = points.empty() ? std::nullopt : points.back().low;
    const std::optional<double> high = points.empty() ? std::nullopt : points.back().high;
    const TSpc spc = ComputeSpc(x, low, high);
    QJsonArray list;
    for (size_t i = 0; i < points.size(); ++i) {
        const TFigurePoint& p = points[i];
        QJsonArray rules;
        for (int rule : spc.rules[i])
            rules.append(rule);
        list.append(QJsonObject{{"started_utc", Q(p.startedUtc)},
                                {"serial", Q(p.serial)},
                                {"uuid", Q(p.uuid)},
                                {"station", Q(p.station)},
                                {"value", p.value},
                                {"low", J(p.low)},
                                {"high", J(p.high)},
                                {"pass", p.pass},
                                {"moving_range", J(spc.movingRange[i])},
                                {"rules", rules}});
    }
    const THistogram hist = ComputeHistogram(x, low, high);
    QJsonArray edges, counts;
    for (double e : hist.edges)
        edges.append(e);
    for (int c : hist.counts)
        counts.append(c);
    const QJsonObject spcJson{
        {"n", spc.n},
        {"low", J(spc.low)},
        {"high", J(spc.high)},
        {"mean", J(spc.mean)},
        {"mr_bar", J(spc.mrBar)},
        {"sigma_within", J(spc.sigmaWithin)},
        {"sigma_overall", J(spc.sigmaOverall)},
        {"cp", IndexJson(spc.cp)},
        {"cpk", IndexJson(spc.cpk)},
        {"pp", IndexJson(spc.pp)},
        {"ppk", IndexJson(spc.ppk)},
        {"cpu", IndexJson(spc.cpu)},
        {"cpl", IndexJson(spc.cpl)},
        {"ppu", IndexJson(spc.ppu)},
        {"ppl", IndexJson(spc.ppl)},
        {"individuals", QJsonObject{{"centre", J(spc.iCentre)},
                                    {"upper", J(spc.iUpper)},
                                    {"lower", J(spc.iLower)}}},
        {"moving_range", QJsonObject{{"centre", J(spc.mrCentre)}, {"upper", J(spc.mrUpper)}}}};
    return TApiAnswer{
        200, QJsonObject{{"test", Q(r.test)},
                         {"version", Q(r.version)},
                         {"channel", r.channel},
                         {"figure", Q(r.figure)},
                         {"unit", Q(UnitOf(r.figure))},
                         {"period", PeriodJson(r.period)},
                         {"simulated_included", r.withSimulated},
                         {"truncated", truncated},
                         {"points", list},
                         {"spc", spcJson},
                         {"histogram", QJsonObject{{"edges", edges}, {"counts", counts}}}}};
}

TApiAnswer Api(TDashboardDb& db, const QString& name, const QUrlQuery& query, const QDateTime& now)
{
    const auto items = query.queryItems(QUrl::FullyDecoded);
    if (items.size() > kMaxParameters)
        return BadRequest("too many parameters");
    for (const auto& [key, value] : items)
        if (key.size() > 32 || value.size() > kMaxParameterLength)
            return BadRequest("parameter " + key.left(32).toStdString() + " is too long");
    static const QStringList known = {"overview", "figure", "serial", "station", "latest"};
    if (!known.contains(name))
        return TApiAnswer{404, QJsonObject{{"error", "no such API"}}};
    EDbState state = EDbState::Ok;
    std::string message;
    if (!db.Ready(state, message))
        return DbFailed(state, message);
    if (name == "overview")
        return Overview(db, query, now);
    if (name == "figure")
        return Figure(db, query, now);
    if (name == "serial")
        return Serial(db, query);
    if (name == "station")
        return Station(db, query, now);
    return Latest(db);
}

} // namespace mirantos::dashboard
