// Judging a failed store, by PostgreSQL's SQLSTATE or SQLite's result code.

#include "ServerErrors.h"

#include <QDir>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace mirantos::results {

EFailure ClassifySqlState(std::string_view sqlState)
{
    if (sqlState.size() != 5)
        return EFailure::Transient;
    const std::string_view cls = sqlState.substr(0, 2);
    for (const char* permanent : {"22", "23", "28", "42", "3D", "54"})
        if (cls == permanent)
            return EFailure::Permanent;
    return EFailure::Transient;
}

EFailure ClassifyConnectFailure(std::string_view message)
{
    // libpq hands on the server's FATAL text; these are the server's words
    // for a login or database that will not work on the next try either.
    for (const char* permanent :
         {"password authentication failed", "authentication failed", "no password supplied",
          "no pg_hba.conf entry", "does not exist", "permission denied",
          "is not permitted to log in", "is not currently accepting connections"})
        if (message.find(permanent) != std::string_view::npos)
            return EFailure::Permanent;
    return EFailure::Transient;
}

std::string SqliteFolderCause(const std::string& path, int sqliteCode)
{
    // SQLITE_FULL names itself; a read-only or unopenable file may be the folder's doing.
    constexpr int kFull = 13, kReadOnly = 8, kCantOpen = 14, kIoErr = 10, kPerm = 3;
    const int primary = sqliteCode & 0xff;
    if (primary == kFull)
        return "disk full (" + std::string(std::strerror(ENOSPC)) + ")";
    if (primary != kReadOnly && primary != kCantOpen && primary != kIoErr && primary != kPerm)
        return {};
    const std::string folder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    const std::string probe = folder + "/.mirantos-write-probe-" + std::to_string(::getpid());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    int err = fd < 0 ? errno : 0;
    if (fd >= 0) {
        // A page, as SQLite writes, so a full disk shows here too.
        const std::vector<char> page(4096, 0);
        if (::write(fd, page.data(), page.size()) != static_cast<ssize_t>(page.size()) ||
            ::fsync(fd) != 0)
            err = errno != 0 ? errno : ENOSPC;
        ::close(fd);
        ::unlink(probe.c_str());
    }
    switch (err) {
    case 0:
        return {};
    case ENOSPC:
    case EDQUOT:
        return "disk full (" + std::string(std::strerror(err)) + ") in " + folder;
    case EROFS:
        return "read-only file system (" + std::string(std::strerror(err)) + ") at " + folder;
    case EACCES:
    case EPERM:
        return "permission denied (" + std::string(std::strerror(err)) + ") in " + folder;
    default:
        return std::string(std::strerror(err)) + " in " + folder;
    }
}

} // namespace mirantos::results
