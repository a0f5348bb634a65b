#include "LimitsInput.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirantos::station {

namespace {

std::string Errno(int err)
{
    return std::generic_category().message(err);
}

// Refuses what is not a regular file by its type (as the other commands word
// it, "not a regular file", and which kind), or its size.
std::string TypeOrSize(const struct stat& st, size_t maxBytes)
{
    if (S_ISDIR(st.st_mode))
        return "not a regular file (a folder)";
    if (S_ISFIFO(st.st_mode))
        return "not a regular file (a FIFO)";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return "not a regular file (a device)";
    if (!S_ISREG(st.st_mode))
        return "not a regular file";
    if (static_cast<uint64_t>(st.st_size) > maxBytes)
        return std::to_string(st.st_size) + " bytes, more than the " + std::to_string(maxBytes) +
               " a limits file may have";
    return {};
}

using TJson = nlohmann::json;

// nlohmann's SAX interface: counts depth and keys as they come and stops at
// the first bound crossed; nothing is stored but the keys of the open objects.
class Prescan {
public:
    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(TJson::number_integer_t) { return true; }
    bool number_unsigned(TJson::number_unsigned_t) { return true; }
    bool number_float(TJson::number_float_t, const std::string&) { return true; }
    bool string(std::string&) { return true; }
    bool binary(TJson::binary_t&) { return true; }
    bool start_object(std::size_t) { return Open(true); }
    bool start_array(std::size_t) { return Open(false); }
    bool end_object() { return Close(); }
    bool end_array() { return Close(); }
    bool key(std::string& k)
    {
        Frame& f = frames_.back();
        if (f.keys.size() == kMaxObjectKeys) {
            refusal = Path(frames_.size() - 1) + ": more than " + std::to_string(kMaxObjectKeys) +
                      " keys; no object of a limits file has that many";
            return false;
        }
        // At most kMaxObjectKeys to look through: linear in the file.
        if (std::find(f.keys.begin(), f.keys.end(), k) != f.keys.end() && duplicate.empty()) {
            f.key = k;
            duplicate = Path(frames_.size()) + ": given twice";
        }
        f.keys.push_back(k);
        f.key = k;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e)
    {
        // "[json.exception.parse_error.101] parse error at line 3, ..." without the tag.
        syntax = e.what();
        if (const size_t tag = syntax.find("] ");
            syntax.rfind("[json.", 0) == 0 && tag != std::string::npos)
            syntax.erase(0, tag + 2);
        return false;
    }

    std::string syntax;
    std::string refusal;   // a bound crossed: the pass stopped there
    std::string duplicate; // the first key given twice

private:
    struct Frame {
        bool object = false;
        std::vector<std::string> keys;
        std::string key; // the current one
    };
    bool Open(bool object)
    {
        if (frames_.size() == static_cast<size_t>(kMaxLimitsDepth)) {
            refusal = (frames_.empty() ? std::string("the limits file") : Path(frames_.size())) +
                      ": nested more than " + std::to_string(kMaxLimitsDepth) +
                      " deep; a limits file needs five";
            return false;
        }
        frames_.push_back({object, {}, {}});
        return true;
    }
    bool Close()
    {
        frames_.pop_back();
        return true;
    }
    // The keys down to the frame `depth` ("limits.ch0.rms_uV"); arrays add none.
    std::string Path(size_t depth) const
    {
        std::string path;
        for (size_t i = 0; i < depth && i < frames_.size(); ++i) {
            if (frames_[i].object && !frames_[i].key.empty())
                path += (path.empty() ? "" : ".") + frames_[i].key;
        }
        return path.empty() ? "the limits file" : path;
    }
    std::vector<Frame> frames_;
};

} // namespace

bool ReadBoundedFile(const std::string& path, size_t maxBytes, std::string& content,
                     std::string& error)
{
    // The type before the open: opening some devices has effects of its own.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = Errno(errno);
        return false;
    }
    if (error = TypeOrSize(st, maxBytes); !error.empty())
        return false;
    // Without waiting: the path may have become a FIFO since.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = Errno(errno);
        return false;
    }
    std::string bytes;
    if (::fstat(fd, &st) != 0)
        error = Errno(errno);
    else
        error = TypeOrSize(st, maxBytes);
    // One byte more than allowed tells a file that grew since.
    bytes.resize(error.empty() ? static_cast<size_t>(st.st_size) + 1 : 0);
    size_t got = 0;
    while (error.empty() && got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            error = Errno(errno);
        else if (n == 0)
            break;
        else
            got += static_cast<size_t>(n);
        if (got > maxBytes)
            error = "more than the " + std::to_string(maxBytes) + " bytes a limits file may have";
        else if (got == bytes.size())
            bytes.resize(std::min(bytes.size() * 2, maxBytes + 1));
    }
    ::close(fd);
    if (!error.empty())
        return false;
    bytes.resize(got);
    content = std::move(bytes);
    return true;
}

std::string PrescanJson(std::string_view content)
{
    Prescan scan;
    TJson::sax_parse(content.begin(), content.end(), &scan);
    if (!scan.refusal.empty())
        return scan.refusal;
    if (!scan.syntax.empty())
        return scan.syntax;
    return scan.duplicate;
}

} // namespace mirantos::station
