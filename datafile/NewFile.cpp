#include "NewFile.h"

#include "WholeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirantos {

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
        target = FinalName(path);
        struct stat end {};
        if (::lstat(target.c_str(), &end) == 0) {
            errno = ELOOP; // the chain of links never ends
            return -1;
        }
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
