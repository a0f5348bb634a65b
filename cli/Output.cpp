#include "Output.h"

#include "CaptureFile.h"
#include "MeasureRecord.h"
#include "SampleSource.h"
#include "Usage.h"
#include "WholeFile.h"

#include <QBuffer>
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <ostream>

#include <sys/stat.h>

namespace mirantos::cli {

namespace {

constexpr std::string_view kStdout = "-";

// What a name stands for: an existing file by device and inode (so links
// and other spellings meet), a new one by its absolute name with the links
// of its folders resolved.
struct TIdentity {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string name;

    bool operator==(const TIdentity& o) const
    {
        return exists == o.exists && (exists ? dev == o.dev && ino == o.ino : name == o.name);
    }
};

TIdentity IdentityOf(const std::string& path)
{
    TIdentity id;
    struct stat st {};
    if (path != kStdout && ::stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.dev = st.st_dev;
        id.ino = st.st_ino;
        return id;
    }
    // A link to nothing stands for the name it would create.
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(
        std::filesystem::absolute(path == kStdout ? path : FinalName(path), ec), ec);
    id.name = path == kStdout || ec ? path : canonical.string();
    return id;
}

} // namespace

std::string ExistsText(const std::string& path)
{
    return path + " exists; --force replaces it";
}

bool CheckOutputs(const std::vector<std::string>& inputs, const std::vector<TOutputFile>& outputs,
                  bool force, const char* usage, CliIo io, int& code)
{
    auto refuse = [&](const std::string& problem) {
        code = UsageError(io, problem, usage);
        return false;
    };
    std::vector<TIdentity> inputIds;
    for (const std::string& in : inputs)
        inputIds.push_back(IdentityOf(in));
    std::vector<TIdentity> outputIds;
    for (const TOutputFile& out : outputs) {
        const std::string named = std::string(out.option) + " " + out.path;
        if (out.path == kStdout && !out.text)
            return refuse(named + ": only text goes to standard output; give a file name");
        const TIdentity id = IdentityOf(out.path);
        for (size_t i = 0; i < inputs.size(); ++i) {
            if (id == inputIds[i])
                return refuse(named + " is the input file " + inputs[i] +
                              "; it is never overwritten");
        }
        for (size_t i = 0; i < outputIds.size(); ++i) {
            if (id == outputIds[i])
                return refuse(named + " is also the file of " + std::string(outputs[i].option) +
                              (out.path == kStdout ? " (standard output)" : ""));
        }
        outputIds.push_back(id);
    }
    for (const TOutputFile& out : outputs) {
        if (out.path == kStdout)
            continue;
        // Also with --force: what cannot be written costs no work.
        if (const std::string problem = WriteProblem(out.path); !problem.empty()) {
            code = Fail(io, problem, kExitFailure);
            return false;
        }
        if (!force && ReplacesOnWrite(out.path)) {
            code = Fail(io, ExistsText(out.path), kExitFailure);
            return false;
        }
    }
    return true;
}

bool WriteOutput(CliIo io, const std::string& path, std::string_view bytes)
{
    if (path == kStdout) {
        io.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        io.out.flush();
        if (io.out)
            return true;
        Fail(io, "cannot write to standard output", kExitFailure);
        return false;
    }
    // The one whole-or-nothing write of the program's exports.
    std::string error;
    if (WriteFileWhole(path, bytes, &error))
        return true;
    Fail(io, error, kExitFailure);
    return false;
}

bool WritePng(CliIo io, const std::string& path, const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !image.save(&buffer, "PNG")) {
        Fail(io, "cannot write " + path + ": the picture could not be encoded", kExitFailure);
        return false;
    }
    return WriteOutput(io, path,
                       std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

std::string FloatText(float value)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (ec != std::errc())
        return "nan";
    return std::string(buf, end);
}

std::string CsvOf(const TMeasureRecord& record)
{
    const bool has0 = record.fCh0Valid != 0;
    const bool has1 = record.fCh1Valid != 0;
    std::string csv = "index";
    if (has0)
        csv += ",ch0_code,ch0_uV";
    if (has1)
        csv += ",ch1_code,ch1_uV";
    csv += '\n';

    const int32_t rows = std::max(has0 ? record.Ch0.Count : 0, has1 ? record.Ch1.Count : 0);
    char num[32];
    auto appendInt = [&csv, &num](auto v) {
        const auto [end, ec] = std::to_chars(num, num + sizeof num, v);
        csv.append(num, end);
    };
    // A channel's two columns of row i; empty once its samples have run out.
    auto appendChannel = [&](const TChannelData& ch, int32_t i) {
        csv += ',';
        if (i < ch.Count) {
            appendInt(ch.Code[i]);
            csv += ',';
            csv += FloatText(ch.Volt[i]);
        } else {
            csv += ',';
        }
    };
    for (int32_t i = 0; i < rows; ++i) {
        appendInt(i + 1);
        if (has0)
            appendChannel(record.Ch0, i);
        if (has1)
            appendChannel(record.Ch1, i);
        csv += '\n';
    }
    return csv;
}

std::string CsvOf(const TSampleSet& samples)
{
    std::string csv = CaptureColumns(samples.chSel) + '\n';
    const bool has0 = samples.chSel != 1;
    const bool has1 = samples.chSel != 0;
    const size_t rows = has0 ? samples.ch0.size() : samples.ch1.size();
    csv.reserve(csv.size() + rows * (has0 && has1 ? 64 : 32));
    char line[kMaxCaptureLine];
    for (size_t i = 0; i < rows; ++i) {
        const size_t n =
            FormatCaptureLine(line, static_cast<int64_t>(i) + 1, has0 ? &samples.ch0[i] : nullptr,
                              has1 ? &samples.ch1[i] : nullptr, samples.gain);
        csv.append(line, n);
    }
    return csv;
}

} // namespace mirantos::cli
