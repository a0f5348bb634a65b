// The HTTP side of the dashboard: one gate for every request, then a page, a
// file of its own, the charting library or the API.

#include "DashboardServer.h"

#include "DashboardApi.h"

#include <QAbstractHttpServer>
#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerResponse>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <QUrlQuery>

#include <map>
#include <set>

namespace mirantos::dashboard {

namespace {

using Status = QHttpServerResponse::StatusCode;

// No inline script or style, nothing from elsewhere; the pages only talk to this server.
const QByteArray kCsp = "default-src 'none'; script-src 'self'; style-src 'self'; "
                        "img-src 'self'; connect-src 'self'; form-action 'self'; "
                        "frame-ancestors 'none'; base-uri 'none'";

const char* const kCookie = "mirantos_token";

struct TAsset {
    const char* resource;
    const char* type;
};

// Every file the server hands out, by its exact path: nothing else is reachable.
const std::map<QString, TAsset>& Assets()
{
    static const std::map<QString, TAsset> assets = {
        {"/", {":/dashboard/overview.html", "text/html; charset=utf-8"}},
        {"/figure", {":/dashboard/figure.html", "text/html; charset=utf-8"}},
        {"/serial", {":/dashboard/serial.html", "text/html; charset=utf-8"}},
        {"/station", {":/dashboard/station.html", "text/html; charset=utf-8"}},
        {"/static/style.css", {":/dashboard/style.css", "text/css; charset=utf-8"}},
        {"/static/common.js", {":/dashboard/common.js", "text/javascript; charset=utf-8"}},
        {"/static/overview.js", {":/dashboard/overview.js", "text/javascript; charset=utf-8"}},
        {"/static/figure.js", {":/dashboard/figure.js", "text/javascript; charset=utf-8"}},
        {"/static/serial.js", {":/dashboard/serial.js", "text/javascript; charset=utf-8"}},
        {"/static/station.js", {":/dashboard/station.js", "text/javascript; charset=utf-8"}},
        {"/static/login.js", {":/dashboard/login.js", "text/javascript; charset=utf-8"}},
        {"/static/favicon.svg", {":/dashboard/favicon.svg", "image/svg+xml"}},
        {"/favicon.ico", {":/dashboard/favicon.svg", "image/svg+xml"}},
    };
    return assets;
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The token a request presents: "Authorization: Bearer T" or the login cookie.
std::string PresentedToken(const QHttpServerRequest& request)
{
    const QByteArray auth = request.value("Authorization").trimmed();
    if (auth.startsWith("Bearer "))
        return auth.mid(7).trimmed().toStdString();
    for (const QByteArray& part : request.value("Cookie").split(';')) {
        const QByteArray c = part.trimmed();
        if (c.startsWith(QByteArray(kCookie) + "="))
            return QByteArray::fromPercentEncoding(c.mid(int(strlen(kCookie)) + 1)).toStdString();
    }
    return {};
}

} // namespace

bool SameSecret(const std::string& a, const std::string& b)
{
    // Compare digests so the time depends neither on the place of a difference nor on length.
    const QByteArray x =
        QCryptographicHash::hash(QByteArray::fromStdString(a), QCryptographicHash::Sha256);
    const QByteArray y =
        QCryptographicHash::hash(QByteArray::fromStdString(b), QCryptographicHash::Sha256);
    unsigned char diff = 0;
    for (int i = 0; i < x.size(); ++i)
        diff |= static_cast<unsigned char>(x[i] ^ y[i]);
    return diff == 0 && !a.empty();
}

class THttpServer final : public QAbstractHttpServer {
public:
    THttpServer(TServeOptions& options, TDashboardDb& db) : options_(options), db_(db)
    {
        worker_.moveToThread(&thread_);
        thread_.start();
    }
    ~THttpServer() override
    {
        // The worker's connection goes in the thread that made it.
        QMetaObject::invokeMethod(
            &worker_, [this] { workerDb_.reset(); }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        QHttpServerResponse response = Answer(request);
        response.setHeader("Content-Security-Policy", kCsp);
        response.setHeader("X-Content-Type-Options", "nosniff");
        response.setHeader("X-Frame-Options", "DENY");
        response.setHeader("Referrer-Policy", "no-referrer");
        if (!response.hasHeader("Cache-Control"))
            response.setHeader("Cache-Control", "no-store");
        response.write(makeResponder(request, socket));
        return true;
    }
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        QHttpServerResponse(Status::NotFound).write(makeResponder(request, socket));
    }

private:
    static QHttpServerResponse Error(Status status, const QString& reason)
    {
        return QHttpServerResponse(QJsonObject{{"error", reason}}, status);
    }

    QHttpServerResponse LoginPage(Status status) const
    {
        return QHttpServerResponse("text/html; charset=utf-8", ReadFile(":/dashboard/login.html"),
                                   status);
    }

    QHttpServerResponse Answer(const QHttpServerRequest& request)
    {
        const QUrl url = request.url();
        if (url.toEncoded().size() > kMaxTargetLength)
            return Error(Status::BadRequest, "request target longer than 2048 bytes");
        if (request.body().size() > kMaxBodyLength)
            return Error(Status::PayloadTooLarge, "request body longer than 4096 bytes");
        const QString path = url.path(QUrl::FullyEncoded);
        const auto method = request.method();
        const bool login = path == "/login";
        if (method != QHttpServerRequest::Method::Get &&
            method != QHttpServerRequest::Method::Head &&
            !(login && method == QHttpServerRequest::Method::Post))
            return Error(Status::MethodNotAllowed, "only GET");
        // Without a token only this host can reach the server, but a web page in its
        // browser could still, by pointing its own name at 127.0.0.1: refuse names
        // that are not this host's.
        if (options_.token.empty() && !LocalHost(request.value("Host")))
            return Error(Status::BadRequest, "Host names no address of this server");
        if (login)
            return Login(request);
        if (!options_.token.empty() && !SameSecret(PresentedToken(request), options_.token)) {
            // The login page's own script may load without the token.
            if (path == "/static/login.js" || path == "/static/style.css" ||
                path == "/static/favicon.svg")
                return Asset(Assets().at(path));
            if (path.startsWith("/api/"))
                return Error(Status::Unauthorized, "a token is required");
            return LoginPage(Status::Unauthorized);
        }
        if (path.startsWith("/api/")) {
            const TCached a = CachedApi(path.mid(5), url);
            return QHttpServerResponse("application/json", a.json, a.status);
        }
        if (path == "/static/chart.js") {
            const QByteArray lib = ReadFile(options_.chartJsPath);
            if (lib.isEmpty())
                return Error(Status::NotFound,
                             "the chart library is missing: install libjs-chart.js");
            QHttpServerResponse r("text/javascript; charset=utf-8", lib);
            r.setHeader("Cache-Control", "max-age=3600");
            return r;
        }
        const auto it = Assets().find(path);
        if (it == Assets().end())
            return Error(Status::NotFound, "no such page");
        return Asset(it->second);
    }

    bool LocalHost(const QByteArray& host) const
    {
        QString name = QString::fromLatin1(host).trimmed();
        static const QRegularExpression port(":[0-9]+$");
        name.remove(port);
        if (name.startsWith('[') && name.endsWith(']'))
            name = name.mid(1, name.size() - 2);
        return name.compare("localhost", Qt::CaseInsensitive) == 0 ||
               (QHostAddress(name).isLoopback()) || QHostAddress(name) == options_.address;
    }

    static QHttpServerResponse Asset(const TAsset& a)
    {
        return QHttpServerResponse(a.type, ReadFile(a.resource));
    }

    // GET: the form; POST token=...: the cookie, then the overview.
    QHttpServerResponse Login(const QHttpServerRequest& request)
    {
        if (request.method() != QHttpServerRequest::Method::Post)
            return LoginPage(Status::Ok);
        const QUrlQuery form(QString::fromUtf8(request.body()));
        const std::string token = form.queryItemValue("token", QUrl::FullyDecoded).toStdString();
        if (options_.token.empty() || !SameSecret(token, options_.token))
            return LoginPage(Status::Unauthorized);
        QHttpServerResponse r(Status::SeeOther);
        r.setHeader("Location", "/");
        r.setHeader("Set-Cookie", QByteArray(kCookie) + "=" +
                                      QByteArray::fromStdString(token).toPercentEncoding() +
                                      "; Path=/; HttpOnly; SameSite=Strict");
        return r;
    }

    // Many desks show the same pages and ask again whenever a run is stored: an answer
    // is kept, and once a run has been added (or after 30 s, as "today" moves) it is
    // still given while a worker thread, with its own connection, reads it afresh. So
    // the event loop never waits for a query but the first of each page. Each answer
    // names the newest run it knows ("as_of_id"), so a page can ask again until it is
    // as new as /api/latest.
    struct TCached {
        long long latestId = 0;
        QDateTime at;
        Status status = Status::Ok;
        QByteArray json; // serialised once: a figure's points run to hundreds of kilobytes
    };
    static TCached Compute(TDashboardDb& db, const QString& name, const QUrl& url,
                           long long latestId)
    {
        const QDateTime now = QDateTime::currentDateTime();
        TApiAnswer a = Api(db, name, QUrlQuery(url), now);
        if (a.status == 200 && name != "latest")
            a.body.insert("as_of_id", static_cast<double>(latestId));
        return TCached{latestId, now, static_cast<Status>(a.status),
                       QJsonDocument(a.body).toJson(QJsonDocument::Compact)};
    }

    TCached CachedApi(const QString& name, const QUrl& url)
    {
        EDbState state = EDbState::Ok;
        std::string message;
        TLatest latest;
        const bool known =
            name != "latest" && db_.Ready(state, message) && db_.Latest(latest, message);
        const QString key = name + "?" + url.query(QUrl::FullyEncoded);
        if (known) {
            const auto it = cache_.find(key);
            if (it != cache_.end()) {
                if (it->second.latestId != latest.id ||
                    it->second.at.msecsTo(QDateTime::currentDateTime()) >= 30000)
                    Refresh(key, name, url, latest.id);
                return it->second;
            }
        }
        const TCached answer = Compute(db_, name, url, latest.id);
        if (known && answer.status == Status::Ok) {
            if (cache_.size() >= 256)
                cache_.clear();
            cache_[key] = answer;
        }
        return answer;
    }

    // Reads `key` again in the worker thread (once at a time per key).
    void Refresh(const QString& key, const QString& name, const QUrl& url, long long latestId)
    {
        if (!refreshing_.insert(key).second)
            return;
        QMetaObject::invokeMethod(&worker_, [this, key, name, url, latestId] {
            if (!workerDb_)
                workerDb_ = std::make_unique<TDashboardDb>(options_.db);
            const TCached answer = Compute(*workerDb_, name, url, latestId);
            QMetaObject::invokeMethod(this, [this, key, answer] {
                refreshing_.erase(key);
                if (answer.status == Status::Ok)
                    cache_[key] = answer;
            });
        });
    }

    TServeOptions& options_;
    TDashboardDb& db_;
    std::map<QString, TCached> cache_;
    std::set<QString> refreshing_;
    QThread thread_;
    QObject worker_;                         // lives in thread_
    std::unique_ptr<TDashboardDb> workerDb_; // used only in thread_
};

struct TDashboardServer::Impl {
    TServeOptions options;
    TDashboardDb db;
    THttpServer http;
    explicit Impl(TServeOptions o) : options(std::move(o)), db(options.db), http(options, db) {}
};

TDashboardServer::TDashboardServer(TServeOptions options)
    : impl_(std::make_unique<Impl>(std::move(options)))
{
}

TDashboardServer::~TDashboardServer() = default;

quint16 TDashboardServer::Listen(std::string& error)
{
    const quint16 port = impl_->http.listen(impl_->options.address, impl_->options.port);
    if (port == 0)
        error = "cannot listen on " + impl_->options.address.toString().toStdString() + ":" +
                std::to_string(impl_->options.port) + " (in use, or not an address of this host)";
    return port;
}

bool TDashboardServer::DbReady(std::string& message)
{
    EDbState state = EDbState::Ok;
    return impl_->db.Ready(state, message);
}

} // namespace mirantos::dashboard
