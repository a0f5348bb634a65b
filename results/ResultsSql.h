#pragma once
// Qt SQL helpers shared by the storing (ResultsDb.cpp) and the reading
// (ResultsQuery.cpp) halves of TResultsDb. Private to results/.

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <optional>
#include <string>

namespace mirantos::results::sql {

inline QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

inline std::string S(const QVariant& v)
{
    return v.isNull() ? std::string() : v.toString().toStdString();
}

inline std::optional<double> OptNum(const QVariant& v)
{
    if (v.isNull())
        return std::nullopt;
    return v.toDouble();
}

inline std::string DbText(const QSqlError& e)
{
    QString t = e.databaseText().trimmed();
    if (t.isEmpty())
        t = e.driverText().trimmed();
    return t.toStdString();
}

// Prepares `sql` (forward only), binds `values` and runs it; its rows, if any, are read from `q`.
inline bool Select(QSqlQuery& q, const QString& sql, const QVariantList& values, std::string& error)
{
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
        error = DbText(q.lastError());
        return false;
    }
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        error = DbText(q.lastError());
        return false;
    }
    return true;
}

} // namespace mirantos::results::sql
