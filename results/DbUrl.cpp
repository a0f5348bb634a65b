// Where the results go: the --db text and the default file.

#include "ResultsDb.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QUrl>

#include <cstdlib>

namespace mirantos::results {

namespace {

std::string Decode(std::string_view s)
{
    return QUrl::fromPercentEncoding(QByteArray(s.data(), static_cast<qsizetype>(s.size())))
        .toStdString();
}

std::string Encode(const std::string& s, const char* keep = "")
{
    return QUrl::toPercentEncoding(QString::fromStdString(s), keep).toStdString();
}

bool ParsePort(std::string_view text, int& port)
{
    if (text.empty() || text.size() > 5)
        return false;
    int v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > 65535)
        return false;
    port = v;
    return true;
}

std::optional<TDbTarget> ParsePostgres(std::string_view rest, std::string_view url,
                                       std::string& error)
{
    const auto fail = [&](const std::string& why) {
        error = "database URL " + std::string(url.substr(0, url.find(':') + 3)) + "...: " + why;
        return std::nullopt;
    };
    TDbTarget t;
    t.engine = TDbTarget::Engine::Postgres;

    std::string_view query;
    if (const size_t q = rest.find('?'); q != std::string_view::npos) {
        query = rest.substr(q + 1);
        rest = rest.substr(0, q);
    }
    std::string_view authority = rest, path;
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        authority = rest.substr(0, slash);
        path = rest.substr(slash + 1);
    }
    if (const size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userinfo = authority.substr(0, at);
        authority = authority.substr(at + 1);
        // Never echo what follows the colon: it would be the password.
        if (userinfo.find(':') != std::string_view::npos)
            return fail("a password in the URL is refused; put it in ~/.pgpass or PGPASSWORD");
        t.user = Decode(userinfo);
    }
    std::string_view hostText = authority;
    if (authority.starts_with("[")) {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return fail("unclosed '[' in the host");
        hostText = authority.substr(1, close - 1);
        authority = authority.substr(close + 1);
        if (!authority.empty() && authority.front() != ':')
            return fail("text after the host's ']'");
        if (!authority.empty() && !ParsePort(authority.substr(1), t.port))
            return fail("the port must be a number 1..65535");
    } else if (const size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
        hostText = authority.substr(0, colon);
        if (!ParsePort(authority.substr(colon + 1), t.port))
            return fail("the port must be a number 1..65535");
    }
    t.host = Decode(hostText);
    if (path.find('/') != std::string_view::npos)
        return fail("the database name cannot contain '/'");
    t.database = Decode(path);

    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view item = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (item.empty())
            continue;
        const size_t eq = item.find('=');
        const std::string key(item.substr(0, eq));
        const std::string value =
            eq == std::string_view::npos ? std::string() : Decode(item.substr(eq + 1));
        if (key == "host")
            t.host = value;
        else if (key == "port") {
            if (!ParsePort(value, t.port))
                return fail("the port must be a number 1..65535");
        } else if (key == "user")
            t.user = value;
        else if (key == "dbname")
            t.database = value;
        else if (key == "password")
            return fail("a password in the URL is refused; put it in ~/.pgpass or PGPASSWORD");
        else
            return fail("unsupported parameter '" + key + "' (host, port, user, dbname)");
    }
    return t;
}

} // namespace

std::string TDbTarget::Display() const
{
    if (engine == Engine::Sqlite)
        return sqlitePath;
    std::string s = "postgresql://";
    if (!user.empty())
        s += Encode(user) + "@";
    const bool socketDir = !host.empty() && host.front() == '/';
    std::string params;
    if (socketDir)
        params = "host=" + Encode(host, "/");
    else if (host.find(':') != std::string::npos)
        s += "[" + host + "]";
    else
        s += Encode(host);
    if (port != 0) {
        if (socketDir)
            params += "&port=" + std::to_string(port);
        else
            s += ":" + std::to_string(port);
    }
    s += "/" + Encode(database);
    if (!params.empty())
        s += "?" + params;
    return s;
}

std::string DefaultSqlitePath()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + "/.local/share";
    return (base + "/mirantos/results.sqlite").toStdString();
}

std::string MaskedUrl(std::string_view text)
{
    // The userinfo of "scheme:[//]user:password@host" and a "password=" parameter.
    std::string s(text);
    const size_t colon = s.find(':');
    if (colon == std::string::npos)
        return s;
    const size_t query = s.find('?', colon);
    const size_t at = s.rfind('@', query == std::string::npos ? std::string::npos : query);
    if (at != std::string::npos && at > colon) {
        const size_t start = s.find_first_not_of('/', colon + 1);
        const size_t pw = s.find(':', start);
        if (pw != std::string::npos && pw < at)
            s.replace(pw + 1, at - pw - 1, "***");
    }
    for (size_t p = s.find("password=", s.find('?')); p != std::string::npos && s.find('?') < p;
         p = s.find("password=", p + 1)) {
        const size_t start = p + 9;
        const size_t end = s.find('&', start);
        s.replace(start, end == std::string::npos ? std::string::npos : end - start, "***");
    }
    return s;
}

std::optional<TDbTarget> ParseDbUrl(std::string_view url, std::string& error)
{
    error.clear();
    if (url.starts_with("postgresql://"))
        return ParsePostgres(url.substr(13), url, error);
    if (url.starts_with("postgres://"))
        return ParsePostgres(url.substr(11), url, error);

    TDbTarget t;
    if (url.empty()) {
        t.sqlitePath = DefaultSqlitePath();
        return t;
    }
    if (url.starts_with("sqlite:")) {
        url.remove_prefix(7);
        if (url.starts_with("//"))
            url.remove_prefix(2); // sqlite:///abs/path
        if (url.empty()) {
            error = "database URL sqlite: names no file";
            return std::nullopt;
        }
        t.sqlitePath = std::string(url);
        return t;
    }
    // "word:" then "/" (or a server's scheme with anything after it) is a URL
    // spelled wrong, never a file name: taken as one, a typo such as
    // "postgresql:/qa@db1/noise" would make a file named after it.
    const size_t colon = url.find(':');
    if (colon != std::string_view::npos && colon > 0) {
        const std::string_view scheme = url.substr(0, colon);
        bool word =
            (scheme[0] >= 'a' && scheme[0] <= 'z') || (scheme[0] >= 'A' && scheme[0] <= 'Z');
        for (char c : scheme)
            word = word && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.');
        std::string lower(scheme);
        for (char& c : lower)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        const bool server = lower == "postgresql" || lower == "postgres";
        if (word && (server || url.substr(colon + 1).starts_with("/"))) {
            error = "database URL " + MaskedUrl(url) + ": " +
                    (server ? "a server's URL begins " + lower + "://"
                            : "unknown scheme '" + std::string(scheme) + "'") +
                    " (postgresql://user@host/db, sqlite:PATH or a file path)";
            return std::nullopt;
        }
    }
    t.sqlitePath = std::string(url);
    return t;
}

} // namespace mirantos::results
