#include "WholeFile.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirantos {

namespace {

constexpr int kMaxLinkHops = 40; // the kernel's own limit

constexpr std::string_view kTempPrefix = ".mirantos-";
constexpr std::string_view kTempSuffix = ".part";

// The process id in a temporary's name, or 0 when the name is not one.
long PidOfTemp(std::string_view name)
{
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix))
        return 0;
    name.remove_prefix(kTempPrefix.size());
    long pid = 0;
    const auto [p, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || p == name.data() || *p != '-' || pid <= 0)
        return 0;
    return pid;
}

std::string ErrnoText(int err)
{
    return std::strerror(err);
}

bool Fail(std::string* error, const std::string& what, int err)
{
    if (error != nullptr)
        *error = what;
    errno = err;
    return false;
}

// ---------------------------------------------------------------- held streams

// A FIFO found to have a reader stays open for writing from the check to the
// write: closing it in between would hand its reader the end of its input,
// and the reader would be gone when the write comes.
class THeldStreams {
public:
    static THeldStreams& Instance()
    {
        static THeldStreams held;
        return held;
    }
    void Hold(dev_t dev, ino_t ino, int fd)
    {
        std::lock_guard lock(mutex_);
        auto [it, added] = fds_.emplace(std::make_pair(dev, ino), fd);
        if (!added)
            ::close(fd); // one held end is enough
    }
    // The held descriptor, now the caller's; -1 when none.
    int Take(dev_t dev, ino_t ino)
    {
        std::lock_guard lock(mutex_);
        const auto it = fds_.find({dev, ino});
        if (it == fds_.end())
            return -1;
        const int fd = it->second;
        fds_.erase(it);
        return fd;
    }

private:
    ~THeldStreams()
    {
        for (const auto& [key, fd] : fds_)
            ::close(fd);
    }
    std::mutex mutex_;
    std::map<std::pair<dev_t, ino_t>, int> fds_;
};

// ---------------------------------------------------------------- checks

std::string FolderProblem(const std::string& path, const std::string& finalName)
{
    const std::string dir = FolderOf(finalName);
    const std::string cannot = "cannot write " + path + ": ";
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return cannot + dir + ": " + ErrnoText(errno);
    if (!S_ISDIR(st.st_mode))
        return cannot + dir + " is not a folder";
    // No write bit at all marks a folder as protected, for root as well.
    if ((st.st_mode & 0222) == 0)
        return cannot + "the folder " + dir + " is read-only";
    if (::faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return cannot + "the folder " + dir + ": " + ErrnoText(errno);
    return {};
}

std::string StreamProblem(const std::string& path, const struct stat& st)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // ENXIO: a FIFO without a reader (or a socket); waiting for one could be
        // forever. A writer held for a reader that has left serves nobody.
        if (const int held = THeldStreams::Instance().Take(st.st_dev, st.st_ino); held >= 0)
            ::close(held);
        return "cannot write " + path + ": " +
               (errno == ENXIO ? std::string("nothing reads from it") : ErrnoText(errno));
    }
    if (S_ISFIFO(st.st_mode))
        THeldStreams::Instance().Hold(st.st_dev, st.st_ino, fd);
    else
        ::close(fd);
    return {};
}

// ---------------------------------------------------------------- writing

bool WriteAll(int fd, const char* p, size_t left)
{
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAllAt(int fd, std::string_view content)
{
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return false;
    return WriteAll(fd, content.data(), content.size()) &&
           ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 && ::fsync(fd) == 0;
}

// A new, empty file beside `target` that only this process knows of.
int CreateTemporary(const std::string& target, mode_t mode, std::string& temp)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temp = HiddenTempPath(FolderOf(target));
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The content whole into a synced temporary beside `target`; errno on false.
bool WriteTemporary(const std::string& target, const struct stat* old, std::string_view content,
                    std::string& temp)
{
    const int fd = CreateTemporary(target, old != nullptr ? 0600 : 0666, temp);
    if (fd < 0)
        return false;
    int err = 0;
    if (old != nullptr) {
        // The owner first: a change of owner clears set-id bits that the mode sets again.
        [[maybe_unused]] const int owned = ::fchown(fd, old->st_uid, old->st_gid);
        if (::fchmod(fd, old->st_mode & 07777) != 0)
            err = errno;
    }
    if (err == 0 && !WriteAll(fd, content.data(), content.size()))
        err = errno;
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        errno = err;
        return false;
    }
    return true;
}

// A new name or a file with one name: a temporary renamed over it.
bool ReplaceWhole(const std::string& path, const std::string& target, const struct stat* old,
                  std::string_view content, std::string* error)
{
    std::string temp;
    if (!WriteTemporary(target, old, content, temp))
        return Fail(error, "cannot write " + path + ": " + ErrnoText(errno), errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return Fail(error, "cannot write " + path + ": " + ErrnoText(err), err);
    }
    // Make the rename itself durable; the data is already safe, so this is best effort.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool ReadWhole(int fd, std::string& out)
{
    out.clear();
    char buf[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buf, static_cast<size_t>(n));
    }
}

// A file with more than one name: renaming over it would split the names
// apart, so the content goes into the file itself, but only once a complete
// copy of it is on disk beside it.
bool WriteInPlace(const std::string& path, const std::string& target, const struct stat& old,
                  std::string_view content, std::string* error)
{
    const std::string cannot = "cannot write " + path + ": ";
    const int fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, cannot + ErrnoText(errno), errno);
    std::string before;
    std::string temp;
    if (!ReadWhole(fd, before) || !WriteTemporary(target, &old, content, temp)) {
        const int err = errno;
        ::close(fd);
        return Fail(error, cannot + ErrnoText(err) + "; " + path + " is as it was", err);
    }
    if (WriteAllAt(fd, content)) {
        const bool closed = ::close(fd) == 0;
        const int err = errno;
        ::unlink(temp.c_str());
        return closed || Fail(error, cannot + ErrnoText(err), err);
    }
    const int err = errno;
    const bool restored = WriteAllAt(fd, before);
    ::close(fd);
    if (restored) {
        ::unlink(temp.c_str());
        return Fail(error, cannot + ErrnoText(err) + "; its old content is kept", err);
    }
    return Fail(error,
                cannot + ErrnoText(err) + "; " + path +
                    " may be cut short, the new content is in " + temp,
                err);
}

// A FIFO or device: written into, never replaced. A reader that leaves
// mid-way is an error, not the end of the program.
bool StreamInto(const std::string& path, const struct stat& st, std::string_view content,
                std::string* error)
{
    int fd = THeldStreams::Instance().Take(st.st_dev, st.st_ino);
    if (fd < 0)
        fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return Fail(error,
                    "cannot write " + path + ": " +
                        (err == ENXIO ? std::string("nothing reads from it") : ErrnoText(err)),
                    err);
    }
    // The open did not wait; the writes may, as any writer's to a slow reader.
    (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    bool ok = WriteAll(fd, content.data(), content.size());
    int err = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (err == EPIPE) {
        // Take the SIGPIPE this thread raised before the old mask comes back.
        const timespec now{0, 0};
        while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return ok || Fail(error, "cannot write " + path + ": " + ErrnoText(err), err);
}

} // namespace

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
    std::string p = dir.empty() ? std::string(".") : dir;
    if (p.back() != '/')
        p += '/';
    p += kTempPrefix;
    p += std::to_string(static_cast<long>(::getpid())) + "-" +
         std::to_string(counter.fetch_add(1)) + std::string(kTempSuffix);
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

std::string FinalName(const std::string& path)
{
    std::string name = path;
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st {};
        if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return name;
        std::string to(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(name.c_str(), to.data(), to.size());
        if (n <= 0 || static_cast<size_t>(n) >= to.size())
            return name;
        to.resize(static_cast<size_t>(n));
        name = to.front() == '/' ? to : FolderOf(name) + "/" + to;
    }
    return name;
}

std::string WriteProblem(const std::string& path)
{
    if (path.empty())
        return "empty file name";
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return "cannot write " + path + ": " + ErrnoText(errno);
        // A new name, or a link to nothing: the file is created at the end of the link.
        return FolderProblem(path, FinalName(path));
    }
    if (S_ISDIR(st.st_mode))
        return "cannot write " + path + ": it is a folder";
    if (!S_ISREG(st.st_mode))
        return StreamProblem(path, st);
    // No write bit at all: protected, also from root and from --force.
    if ((st.st_mode & 0222) == 0)
        return path + " is read-only";
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        return "cannot write " + path + ": " + ErrnoText(errno);
    // The temporary (a rename's, or a hard-linked file's copy) goes beside it.
    return FolderProblem(path, FinalName(path));
}

void ReleaseHeldOutput(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        const int fd = THeldStreams::Instance().Take(st.st_dev, st.st_ino);
        if (fd >= 0)
            ::close(fd);
    }
}

bool ReplacesOnWrite(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    return ::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat sa {
    }, sb{};
    const bool ea = ::stat(a.c_str(), &sa) == 0;
    const bool eb = ::stat(b.c_str(), &sb) == 0;
    if (ea || eb)
        return ea && eb && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    namespace fs = std::filesystem;
    std::error_code ec1, ec2;
    const fs::path ca = fs::weakly_canonical(fs::absolute(FinalName(a), ec1), ec1);
    const fs::path cb = fs::weakly_canonical(fs::absolute(FinalName(b), ec2), ec2);
    return !ec1 && !ec2 && ca == cb;
}

bool WriteFileWhole(const std::string& path, std::string_view content, std::string* error)
{
    if (const std::string problem = WriteProblem(path); !problem.empty())
        return Fail(error, problem, EACCES);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return Fail(error, "cannot write " + path + ": " + ErrnoText(errno), errno);
        return ReplaceWhole(path, FinalName(path), nullptr, content, error);
    }
    if (!S_ISREG(st.st_mode))
        return StreamInto(path, st, content, error);
    const std::string target = FinalName(path);
    if (st.st_nlink > 1)
        return WriteInPlace(path, target, st, content, error);
    return ReplaceWhole(path, target, &st, content, error);
}

} // namespace mirantos
