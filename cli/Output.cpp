#include "Output.h"

#include "CaptureFile.h"
#include "MeasureRecord.h"
#include "NoiseReport.h"
#include "SampleSource.h"

#include <QBuffer>
#include <QFile>
#include <algorithm>
#include <charconv>

namespace mirantos::cli {

bool WriteWhole(const std::string& path, const QByteArray& bytes)
{
    // The one whole-or-nothing write of the program's exports.
    return analysis::WriteFileWhole(
        path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

bool WritePng(const std::string& path, const QImage& image)
{
    if (image.isNull())
        return false;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return false;
    return WriteWhole(path, bytes);
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
