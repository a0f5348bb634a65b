#include "UnsavedData.h"

#include "ResultsDb.h"
#include "WholeFile.h"

#include <QDir>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace mirantos::station {

namespace {

namespace fs = std::filesystem;

constexpr const char* kSidecar = ".run.json";
constexpr const char* kHeldPrefix = "mirantos-unsaved-";

std::string SidecarJson(const TUnsavedRun& r, const std::string& dataName)
{
    // Where the limits came from, for the person; the content below is what counts.
    std::error_code ec;
    const fs::path limitsPath = fs::absolute(r.limitsPath, ec).lexically_normal();
    const nlohmann::json j = {{"data_file", dataName},
                              {"uuid", r.uuid},
                              {"serial", r.facts.serial},
                              {"operator", r.facts.operatorName},
                              {"station", r.facts.station},
                              {"started_utc", r.facts.startedUtc},
                              {"ended_utc", r.facts.endedUtc},
                              {"program_version", r.facts.programVersion},
                              {"limits_path", ec ? r.limitsPath : limitsPath.string()},
                              {"limits_sha256", Sha256Hex(r.limitsContent)},
                              {"limits", r.limitsContent},
                              {"run_error", r.runError},
                              {"stopped", r.stopped},
                              {"part_number", r.facts.partNumber},
                              {"lot", r.facts.lot},
                              {"dut_id", r.facts.dutHardwareId},
                              {"board_kind", r.facts.boardKind},
                              {"board_identity", r.facts.boardIdentity}};
    return j.dump(2) + "\n";
}

// Copies `from` into a new file `to` and syncs it; errno on failure (the partial file removed).
int CopySynced(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errno;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        return err;
    }
    int err = 0;
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < n && err == 0;) {
            const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno != EINTR)
                err = errno;
            done += w > 0 ? w : 0;
        }
        if (err)
            break;
    }
    if (err == 0 && ::fsync(out) != 0)
        err = errno;
    if (::close(out) != 0 && err == 0)
        err = errno;
    ::close(in);
    if (err)
        ::unlink(to.c_str());
    return err;
}

bool SameContent(const std::string& a, const std::string& b, std::string& error)
{
    std::error_code ec1, ec2;
    if (fs::file_size(a, ec1) != fs::file_size(b, ec2) || ec1 || ec2) {
        error = "the copy's size differs from the data's";
        return false;
    }
    const std::string ha = Sha256OfFile(a, error);
    const std::string hb = ha.empty() ? std::string() : Sha256OfFile(b, error);
    if (ha.empty() || hb.empty())
        return false;
    if (ha != hb)
        error = "the copy's content differs from the data's";
    return ha == hb;
}

} // namespace

std::string UnsavedSidecarOf(const std::string& dataPath)
{
    return dataPath + kSidecar;
}

std::string UnsavedFolder()
{
    return (fs::path(results::DefaultSqlitePath()).parent_path() / "unsaved").string();
}

TKeptData KeepUnsavedRun(const std::string& dataPath, const TUnsavedRun& run)
{
    TKeptData kept;
    const fs::path dir = UnsavedFolder();
    const fs::path name = fs::path(dataPath).filename();
    const auto fail = [&](const std::string& why) {
        kept.path.clear();
        kept.error = "cannot keep the raw data in " + dir.string() + ": " + why;
        return kept;
    };
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec)
        return fail(ec.message());
    RemoveStaleTemps(dir.string());
    const std::string temp = HiddenTempPath(dir.string());
    if (const int err = CopySynced(dataPath, temp); err != 0)
        return fail(std::strerror(err));
    if (std::string why; !SameContent(dataPath, temp, why)) {
        ::unlink(temp.c_str());
        return fail(why);
    }
    // The first name free for the data and its sidecar alike.
    for (int n = 1; n <= 1000; ++n) {
        const std::string suffix = n == 1 ? "" : "-" + std::to_string(n);
        const fs::path target = dir / (name.stem().string() + suffix + name.extension().string());
        const std::string sidecar = UnsavedSidecarOf(target.string());
        if (fs::exists(fs::symlink_status(target, ec)) ||
            fs::exists(fs::symlink_status(sidecar, ec)))
            continue;
        // The sidecar first: a data file without one is no kept run.
        std::string error;
        if (!WriteFileWhole(sidecar, SidecarJson(run, target.filename().string()), &error)) {
            ::unlink(temp.c_str());
            return fail(error);
        }
        if (::link(temp.c_str(), target.c_str()) == 0) {
            ::unlink(temp.c_str());
            kept.path = target.string();
            return kept;
        }
        const int err = errno;
        ::unlink(sidecar.c_str());
        if (err != EEXIST) {
            ::unlink(temp.c_str());
            return fail(std::strerror(err));
        }
    }
    ::unlink(temp.c_str());
    return fail("no free name");
}

std::string HoldUnsavedRun(const std::string& dataPath, const TUnsavedRun& run)
{
    const fs::path folder = fs::path(dataPath).parent_path();
    const fs::path held = folder.parent_path() / (kHeldPrefix + folder.filename().string());
    std::error_code ec;
    fs::rename(folder, held, ec);
    const fs::path data = ec ? fs::path(dataPath) : held / fs::path(dataPath).filename();
    // Best effort: the temporary folder may be on a full disk too.
    WriteFileWhole(UnsavedSidecarOf(data.string()), SidecarJson(run, data.filename().string()));
    return data.string();
}

std::vector<std::string> UnsavedDataFiles()
{
    std::vector<fs::path> folders = {UnsavedFolder()};
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(QDir::tempPath().toStdString(), ec)) {
        if (e.path().filename().string().starts_with(kHeldPrefix) && e.is_directory(ec))
            folders.push_back(e.path());
    }
    std::vector<std::string> files;
    for (const fs::path& folder : folders) {
        for (const auto& e : fs::directory_iterator(folder, ec)) {
            const std::string path = e.path().string();
            if (path.ends_with(kSidecar) && e.is_regular_file(ec) &&
                fs::is_regular_file(path.substr(0, path.size() - std::strlen(kSidecar)), ec))
                files.push_back(path.substr(0, path.size() - std::strlen(kSidecar)));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool ReadUnsavedRun(const std::string& dataPath, TUnsavedRun& run, std::string& error)
{
    const std::string sidecar = UnsavedSidecarOf(dataPath);
    std::ifstream in(sidecar, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const nlohmann::json j = nlohmann::json::parse(text.str(), nullptr, false);
    const auto str = [&j](const char* key) {
        return j.contains(key) && j[key].is_string() ? j[key].get<std::string>() : std::string();
    };
    if (!in || j.is_discarded() || !j.is_object() || str("uuid").empty() || str("limits").empty()) {
        error = sidecar + ": not a kept run's description";
        return false;
    }
    run.uuid = str("uuid");
    run.facts.serial = str("serial");
    run.facts.operatorName = str("operator");
    run.facts.station = str("station");
    run.facts.startedUtc = str("started_utc");
    run.facts.endedUtc = str("ended_utc");
    run.facts.programVersion = str("program_version");
    run.limitsPath = str("limits_path");
    run.limitsContent = str("limits");
    run.runError = str("run_error");
    run.stopped = str("stopped");
    run.facts.partNumber = str("part_number");
    run.facts.lot = str("lot");
    run.facts.dutHardwareId = str("dut_id");
    run.facts.boardKind = str("board_kind");
    run.facts.boardIdentity = str("board_identity");
    if (Sha256Hex(run.limitsContent) != str("limits_sha256")) {
        error = sidecar + ": the limits it keeps do not match their hash";
        return false;
    }
    return true;
}

bool RemoveUnsavedRun(const std::string& dataPath, std::string& error)
{
    std::error_code ec;
    fs::remove(dataPath, ec);
    if (!ec)
        fs::remove(UnsavedSidecarOf(dataPath), ec);
    if (ec) {
        error = "cannot remove " + dataPath + ": " + ec.message();
        return false;
    }
    const fs::path folder = fs::path(dataPath).parent_path();
    if (folder.filename().string().starts_with(kHeldPrefix))
        fs::remove(folder, ec); // only when empty
    return true;
}

} // namespace mirantos::station
