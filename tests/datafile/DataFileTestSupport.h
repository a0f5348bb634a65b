#pragma once
// Scratch folders, file helpers and channel buffers for the data file tests.

#include "MeasureRecord.h"
#include "Myfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace dtatest {

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "dta-test-XXXXXX").string();
        char* made = ::mkdtemp(pattern.data());
        if (made == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Names of everything in the folder.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

private:
    std::string path_;
};

inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// Joins lines with the given line end after each one.
inline std::string Lines(const std::vector<std::string>& lines, const std::string& eol = "\r\n")
{
    std::string s;
    for (const auto& l : lines) {
        s += l;
        s += eol;
    }
    return s;
}

// Channel buffers of full capacity, like the window's scratch area.
struct Buffers {
    std::unique_ptr<TChannelStorage> storage = std::make_unique<TChannelStorage>();
    TChannelData ch0{0, storage->Code0.data(), storage->Volt0.data()};
    TChannelData ch1{0, storage->Code1.data(), storage->Volt1.data()};
};

// Loads bytes written to a scratch file.
struct LoadResult {
    bool ok = false;
    TAdcSetting setting;
    Buffers buf;
};

inline std::unique_ptr<LoadResult> LoadText(const std::string& bytes, TAdcSetting start = {})
{
    TempDir dir;
    const std::string path = dir.File("in.DTA");
    WriteBytes(path, bytes);
    auto r = std::make_unique<LoadResult>();
    r->setting = start;
    TmyFile file;
    r->ok = file.LoadData(path, &r->setting, &r->buf.ch0, &r->buf.ch1);
    return r;
}

// A valid settings block for a one- or two-channel file.
inline std::vector<std::string> Header(int chSel = 0)
{
    return {"AD7177_DataFile:",
            "M:",
            "spsSel:1",
            "DataCountSel:3",
            "CHSel:" + std::to_string(chSel),
            "GainSel:0",
            "fSinc5:1",
            "fBUF_ON:0",
            "MEND:"};
}

inline std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace dtatest
