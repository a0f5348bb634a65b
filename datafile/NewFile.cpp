#include "NewFile.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirantos {

namespace {

constexpr std::string_view kPrefix = ".mirantos-";
constexpr std::string_view kSuffix = ".part";

// The process id in a temporary's name, or 0 when the name is not one.
long PidOfTemp(std::string_view name)
{
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return 0;
    name.remove_prefix(kPrefix.size());
    long pid = 0;
    const auto [p, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || p == name.data() || *p != '-' || pid <= 0)
        return 0;
    return pid;
}

// The file a chain of links ends at, which does not exist; empty with errno
// when the chain loops or cannot be read.
std::string DanglingTarget(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        char buf[4096];
        const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
        if (n < 0 || static_cast<size_t>(n) == sizeof buf)
            return {};
        std::string next(buf, static_cast<size_t>(n));
        if (next.front() != '/')
            next = FolderOf(path) + "/" + next;
        struct stat st {};
        if (::lstat(next.c_str(), &st) != 0)
            return errno == ENOENT ? next : std::string();
        if (!S_ISLNK(st.st_mode))
            break;
        path = next;
    }
    errno = ELOOP;
    return {};
}

} // namespace

int OpenForWriting(const std::string& path, bool replace, std::string& temp, std::string& target)
{
    temp.clear();
    target = path;
    struct stat st {};
    const bool named = ::lstat(path.c_str(), &st) == 0;
    const bool exists = named && (!S_ISLNK(st.st_mode) || ::stat(path.c_str(), &st) == 0);
    if (named && !replace) {
        errno = EEXIST;
        return -1;
    }
    if (exists)
        return ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (named) {
        // A dangling link: the file it names is created, as writing through it would.
        target = DanglingTarget(path);
        if (target.empty())
            return -1;
    }
    const std::string dir = FolderOf(target);
    RemoveStaleTemps(dir);
    temp = HiddenTempPath(dir);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        temp.clear();
    return fd;
}

int LinkInTemp(const std::string& temp, const std::string& target, bool replace)
{
    int err = LinkInNoReplace(temp, target);
    if (err == EEXIST && replace)
        err = ::rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    // The new name itself survives a power cut, as the file's content will.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return 0;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string HiddenTempPath(const std::string& dir)
{
    static std::atomic<unsigned> counter{0};
    std::string p = dir;
    if (p.empty())
        p = ".";
    if (p.back() != '/')
        p += '/';
    p += kPrefix;
    p += std::to_string(static_cast<long>(::getpid())) + "-" +
         std::to_string(counter.fetch_add(1)) + std::string(kSuffix);
    return p;
}

bool IsHiddenTempName(const std::string& name)
{
    return PidOfTemp(name) != 0;
}

void RemoveStaleTemps(const std::string& dir)
{
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (d == nullptr)
        return;
    const uid_t me = ::geteuid();
    while (const dirent* e = ::readdir(d)) {
        const long pid = PidOfTemp(e->d_name);
        // A live process (or one we may not ask about) keeps its temporary.
        if (pid == 0 || pid == static_cast<long>(::getpid()) ||
            ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat st {};
        // Only our own regular files: never another user's, never a folder.
        if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == me)
            ::unlinkat(::dirfd(d), e->d_name, 0);
    }
    ::closedir(d);
}

int LinkInNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP)
        return err;
    // A file system without the flag: a hard link is just as exclusive.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno;
    ::unlink(from.c_str());
    return 0;
}

std::string LinkInUnderFreeName(const std::string& from, const std::string& stem,
                                const std::string& ext, int& err)
{
    err = EEXIST;
    for (int n = 1; n <= 1000 && err == EEXIST; ++n) {
        const std::string to = stem + (n == 1 ? "" : "-" + std::to_string(n)) + ext;
        err = LinkInNoReplace(from, to);
        if (err == 0)
            return to;
    }
    return {};
}

} // namespace mirantos
