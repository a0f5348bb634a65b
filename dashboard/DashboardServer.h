#pragma once
// The dashboard over HTTP (Qt HttpServer): the pages and their scripts from
// the program's own resources, the charting library from the system, and the
// JSON API. Every request passes one gate: method, size and parameter limits,
// then the token when one is set; every answer carries a strict
// Content-Security-Policy. Runs on the Qt event loop of the calling thread.

#include "DashboardDb.h"

#include <QHostAddress>
#include <QString>

#include <memory>
#include <string>

namespace mirantos::dashboard {

// Where Debian's libjs-chart.js puts the library the pages draw with.
inline constexpr const char* kChartJsPath = "/usr/share/javascript/chart.js/chart.min.js";
// The longest request target and body the server reads.
inline constexpr int kMaxTargetLength = 2048;
inline constexpr int kMaxBodyLength = 4096;

struct TServeOptions {
    results::TDbTarget db;
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 8177;
    std::string token; // empty: no login (only allowed on a loopback address)
    QString chartJsPath = kChartJsPath;
};

class TDashboardServer {
public:
    explicit TDashboardServer(TServeOptions options);
    ~TDashboardServer();
    TDashboardServer(const TDashboardServer&) = delete;
    TDashboardServer& operator=(const TDashboardServer&) = delete;

    // Starts listening; the port it got (0 with `error` when it could not).
    quint16 Listen(std::string& error);
    // Whether the database can be read now; else what is wrong with it.
    bool DbReady(std::string& message);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Whether two secrets are equal, in time that does not depend on where they differ.
bool SameSecret(const std::string& a, const std::string& b);

} // namespace mirantos::dashboard
