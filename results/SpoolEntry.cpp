// The spool's entries: where a run goes, written as a small JSON object in the
// outbox's destination column (older spools: the URL alone).

#include "Spool.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace mirantos::results {

std::string EncodeSpoolEntry(const TSpoolEntry& entry)
{
    const QJsonObject o{{"url", QString::fromStdString(entry.url)},
                        {"server", QString::fromStdString(entry.server)},
                        {"since", QString::fromStdString(entry.since)},
                        {"error", QString::fromStdString(entry.error)},
                        {"refused", entry.refused}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

TSpoolEntry DecodeSpoolEntry(const std::string& text, const std::string& endedUtc)
{
    TSpoolEntry e;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    if (!doc.isObject()) {
        e.url = text;
        e.since = endedUtc;
        return e;
    }
    const QJsonObject o = doc.object();
    e.url = o.value("url").toString().toStdString();
    e.server = o.value("server").toString().toStdString();
    e.since = o.value("since").toString().toStdString();
    e.error = o.value("error").toString().toStdString();
    e.refused = o.value("refused").toBool();
    if (e.since.empty())
        e.since = endedUtc;
    return e;
}

bool PendingRuns(const std::string& spoolPath, std::vector<TPendingRun>& out, std::string& error)
{
    out.clear();
    if (!QFileInfo::exists(QString::fromStdString(spoolPath)))
        return true;
    TDbTarget t;
    t.sqlitePath = spoolPath;
    const auto spool = TResultsDb::Open(t, error);
    std::vector<TResultsDb::TOutboxEntry> entries;
    if (!spool || !spool->Outbox(entries, error))
        return false;
    for (const auto& e : entries)
        out.push_back({e.uuid, e.serial, DecodeSpoolEntry(e.destination, e.endedUtc)});
    return true;
}

} // namespace mirantos::results
