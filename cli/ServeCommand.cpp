// serve: the dashboard over HTTP until SIGINT or SIGTERM; and results --spc,
// the figure page's numbers in the terminal.

#include "Commands.h"
#include "DashboardApi.h"
#include "DashboardServer.h"
#include "ResultsText.h"
#include "SigintWatcher.h"
#include "Usage.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrlQuery>

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace mirantos::cli {

namespace {

// "127.0.0.1:8177", "[::1]:8177", "0.0.0.0:80", or a bare port.
bool ParseListen(const std::string& text, QHostAddress& address, quint16& port)
{
    QString t = QString::fromStdString(text);
    QString host = "127.0.0.1";
    QString portText = t;
    const qsizetype colon = t.lastIndexOf(':');
    if (colon >= 0) {
        host = t.left(colon);
        portText = t.mid(colon + 1);
        if (host.startsWith('[') && host.endsWith(']'))
            host = host.mid(1, host.size() - 2);
    }
    bool ok = false;
    const int p = portText.toInt(&ok);
    if (!ok || p < 0 || p > 65535 || !address.setAddress(host))
        return false;
    port = static_cast<quint16>(p);
    return true;
}

std::string Number(const QJsonValue& v)
{
    if (v.isNull() || v.isUndefined())
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v.toDouble());
    return text;
}

void PrintSpc(std::ostream& out, const QJsonObject& f)
{
    const QJsonObject s = f["spc"].toObject();
    const std::string unit = f["unit"].toString().toStdString();
    const std::string u = unit.empty() ? "" : " " + unit;
    out << f["test"].toString().toStdString() << ' ' << f["version"].toString().toStdString()
        << ", ch" << f["channel"].toInt() << ' ' << f["figure"].toString().toStdString() << ": "
        << s["n"].toInt() << " runs from " << f["period"]["from_utc"].toString().toStdString()
        << (f["simulated_included"].toBool() ? ", simulated boards included"
                                             : ", simulated boards left out")
        << (f["truncated"].toBool() ? " (the newest only)" : "") << '\n';
    out << "limits          " << Number(s["low"]) << " .. " << Number(s["high"]) << u << '\n'
        << "mean            " << Number(s["mean"]) << u << '\n'
        << "sigma within    " << Number(s["sigma_within"]) << u << "  (MR-bar / 1.128)\n"
        << "sigma overall   " << Number(s["sigma_overall"]) << u << "  (n - 1)\n";
    for (const auto& [name, label] : {std::pair{"cp", "Cp              "},
                                      {"cpk", "Cpk             "},
                                      {"pp", "Pp              "},
                                      {"ppk", "Ppk             "},
                                      {"cpu", "Cpu             "},
                                      {"cpl", "Cpl             "},
                                      {"ppu", "Ppu             "},
                                      {"ppl", "Ppl             "}}) {
        const QJsonObject i = s[name].toObject();
        out << label
            << (i["value"].isNull() ? "-  (" + i["reason"].toString().toStdString() + ")"
                                    : Number(i["value"]))
            << '\n';
    }
    const QJsonObject x = s["individuals"].toObject(), mr = s["moving_range"].toObject();
    out << "X chart         centre " << Number(x["centre"]) << ", limits " << Number(x["lower"])
        << " .. " << Number(x["upper"]) << u << '\n'
        << "MR chart        centre " << Number(mr["centre"]) << ", upper " << Number(mr["upper"])
        << u << '\n';
    // Every break counted; the newest 50 listed (a drifting process breaks rule 4 at length).
    std::vector<QJsonObject> breaks;
    int perRule[5] = {};
    for (const QJsonValue& p : f["points"].toArray())
        if (const QJsonArray rules = p["rules"].toArray(); !rules.isEmpty()) {
            breaks.push_back(p.toObject());
            for (const QJsonValue& r : rules)
                ++perRule[std::clamp(r.toInt(), 0, 4)];
        }
    out << "rule breaks     " << breaks.size() << " (rule 1: " << perRule[1]
        << ", 2: " << perRule[2] << ", 3: " << perRule[3] << ", 4: " << perRule[4] << ")"
        << (breaks.size() > 50 ? ", the newest 50:"
            : breaks.empty()   ? ""
                               : ":")
        << '\n';
    for (size_t i = breaks.size() > 50 ? breaks.size() - 50 : 0; i < breaks.size(); ++i) {
        const QJsonObject& p = breaks[i];
        std::string list;
        for (const QJsonValue& r : p["rules"].toArray())
            list += (list.empty() ? "" : ",") + std::to_string(r.toInt());
        out << "  " << p["started_utc"].toString().toStdString() << "  "
            << TerminalText(p["serial"].toString().toStdString()) << "  " << Number(p["value"]) << u
            << "  rule " << list << '\n';
    }
}

} // namespace

int Serve(const std::vector<std::string>& args, CliIo io)
{
    ParsedArgs parsed;
    int code = kExitOk;
    if (!ParseCommandArgs(args,
                          {{"--db", "", true}, {"--listen", "", true}, {"--token-file", "", true}},
                          kServeUsage, io, parsed, code))
        return code;
    if (!parsed.positional.empty())
        return UsageError(io, "unexpected argument \"" + parsed.positional.front() + "\"",
                          kServeUsage);
    dashboard::TServeOptions options;
    std::string error;
    const auto db = results::ParseDbUrl(parsed.Value("--db").value_or(""), error);
    if (!db)
        return UsageError(io, "--db: " + error, kServeUsage);
    options.db = *db;
    if (const auto v = parsed.Value("--listen");
        v && !ParseListen(*v, options.address, options.port))
        return UsageError(io, "--listen takes ADDRESS:PORT (127.0.0.1:8177), not \"" + *v + "\"",
                          kServeUsage);
    if (const auto file = parsed.Value("--token-file")) {
        QFile f(QString::fromStdString(*file));
        if (!f.open(QIODevice::ReadOnly))
            return Fail(io, *file + ": cannot read the token file", kExitFailure);
        options.token = f.readAll().trimmed().toStdString();
        if (options.token.size() < 16)
            return Fail(io, *file + ": the token must be at least 16 characters", kExitFailure);
    }
    if (!options.address.isLoopback() && options.token.empty())
        return UsageError(io,
                          "--listen on " + options.address.toString().toStdString() +
                              " is reachable from other hosts: give --token-file",
                          kServeUsage);
    dashboard::TDashboardServer server(options);
    const quint16 port = server.Listen(error);
    if (port == 0)
        return Fail(io, error, kExitFailure);
    QString host = options.address.toString();
    if (options.address.protocol() == QAbstractSocket::IPv6Protocol)
        host = "[" + host + "]";
    io.err << "serving " << options.db.Display() << " read-only on http://" << host.toStdString()
           << ':' << port << "/" << (options.token.empty() ? "" : " (token required)") << '\n';
    std::string problem;
    if (!server.DbReady(problem))
        io.err << "the database cannot be read now (the pages say so until it can): " << problem
               << '\n';
    io.err << std::flush;
    TSigintWatcher watcher;
    QObject::connect(&watcher, &TSigintWatcher::interrupted, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    io.err << "stopped\n" << std::flush;
    return kExitOk;
}

int ResultsSpc(const std::vector<std::string>& args, CliIo io)
{
    ParsedArgs parsed;
    int code = kExitOk;
    if (!ParseCommandArgs(args,
                          {{"--spc", "", false},
                           {"--db", "", true},
                           {"--test", "", true},
                           {"--version", "", true},
                           {"--figure", "", true},
                           {"--channel", "", true},
                           {"--since", "", true},
                           {"--sim", "", false},
                           {"--json", "", false}},
                          kResultsUsage, io, parsed, code))
        return code;
    if (!parsed.positional.empty())
        return UsageError(io, "unexpected argument \"" + parsed.positional.front() + "\"",
                          kResultsUsage);
    std::string error;
    const auto target = results::ParseDbUrl(parsed.Value("--db").value_or(""), error);
    if (!target)
        return UsageError(io, "--db: " + error, kResultsUsage);
    const auto test = parsed.Value("--test");
    const auto figure = parsed.Value("--figure");
    if (!test || !figure)
        return UsageError(io, "--spc needs --test and --figure", kResultsUsage);
    dashboard::TFigureRequest request;
    request.test = *test;
    request.version = parsed.Value("--version").value_or("");
    request.figure = *figure;
    request.withSimulated = parsed.Flag("--sim");
    long long channel = 0;
    if (const auto v = parsed.Value("--channel"); v && !ParseInt(*v, 0, 15, channel))
        return UsageError(io, "--channel takes 0 to 15, not \"" + *v + "\"", kResultsUsage);
    request.channel = static_cast<int>(channel);
    const std::string since = parsed.Value("--since").value_or("1970-01-01");
    const auto from = results::CanonicalUtc(since);
    if (!from)
        return UsageError(io,
                          "--since takes a date (2026-12-01) or a UTC time, not \"" + since + "\"",
                          kResultsUsage);
    request.period = {*from, "9999-12-31T23:59:59.999Z"};
    dashboard::TDashboardDb db(*target);
    dashboard::EDbState state = dashboard::EDbState::Ok;
    if (!db.Ready(state, error))
        return Fail(io, error, kExitFailure);
    const dashboard::TApiAnswer answer = dashboard::FigureAnswer(db, request);
    if (answer.status != 200)
        return Fail(io, answer.body["error"].toString().toStdString(), kExitFailure);
    if (parsed.Flag("--json"))
        io.out << QJsonDocument(answer.body).toJson(QJsonDocument::Indented).toStdString();
    else
        PrintSpc(io.out, answer.body);
    io.out << std::flush;
    return io.out ? kExitOk : Fail(io, "cannot write to standard output", kExitFailure);
}

} // namespace mirantos::cli
