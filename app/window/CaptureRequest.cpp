#include "CaptureRequest.h"

#include "CaptureFile.h"
#include "Tables.h"

#include <QFileInfo>

#include <algorithm>

namespace mirantos {

TCaptureRequest DefaultCaptureRequest(int32_t rateIndex, bool sinc3, int32_t channelIndex)
{
    TCaptureRequest r;
    r.rateIndex = ValidRateIndex(rateIndex) ? rateIndex : kDefaultRateIndex;
    r.sinc3 = sinc3;
    r.channelIndex = ValidChannelIndex(channelIndex) ? channelIndex : kDefaultChannelIndex;
    r.byDuration = true;
    r.seconds = std::clamp(kDefaultCaptureSeconds, RequestMinSeconds(r), RequestMaxSeconds(r));
    r.count = kDefaultCaptureCount;
    return r;
}

int64_t RequestMinSeconds(const TCaptureRequest& request)
{
    return CaptureMinSeconds(request.rateIndex, !request.sinc3);
}

int64_t RequestMaxSeconds(const TCaptureRequest& request)
{
    return CaptureMaxSeconds(request.rateIndex, !request.sinc3);
}

int64_t RequestCount(const TCaptureRequest& request)
{
    if (!request.byDuration)
        return request.count;
    return CaptureCountForSeconds(request.seconds, request.rateIndex, !request.sinc3);
}

bool RequestValid(const TCaptureRequest& request)
{
    const int64_t n = RequestCount(request);
    return !request.path.trimmed().isEmpty() && ValidRateIndex(request.rateIndex) &&
           ValidChannelIndex(request.channelIndex) && n >= kMinCaptureCount && n <= kBoardMaxCount;
}

TCaptureSettings RequestSettings(const TCaptureRequest& request)
{
    TCaptureSettings s;
    s.rateIndex = request.rateIndex;
    s.sinc5 = !request.sinc3;
    s.chSel = request.channelIndex;
    s.count = static_cast<int32_t>(RequestCount(request));
    return s;
}

QString WithCaptureSuffix(const QString& path)
{
    const QString name = path.trimmed();
    const QFileInfo info(name);
    // A FIFO or a device is written under its own name.
    if (name.isEmpty() || !info.suffix().isEmpty() || (info.exists() && !info.isFile()))
        return name;
    return name + QStringLiteral(".csv");
}

int64_t RequestFileBytes(const TCaptureRequest& request)
{
    // The settings' comment lines, the column header and the end line.
    constexpr int64_t kHeaderBytes = 512;
    const int64_t n = std::max<int64_t>(0, RequestCount(request));
    // The index column: each run of equally long numbers counted at once.
    int64_t indexBytes = 0;
    for (int64_t low = 1, digits = 1; low <= n; low *= 10, ++digits)
        indexBytes += (std::min(n, low * 10 - 1) - low + 1) * digits;
    // A code far from mid-scale has the longest microvolt text.
    const uint32_t code = 0x9ABC0001u;
    const bool ch0 = request.channelIndex != 1;
    const bool ch1 = request.channelIndex != 0;
    char line[kMaxCaptureLine];
    const auto rest = static_cast<int64_t>(
        FormatCaptureLine(line, 1, ch0 ? &code : nullptr, ch1 ? &code : nullptr, 1) - 1);
    return kHeaderBytes + indexBytes + n * rest;
}

QString FileSizeText(int64_t bytes)
{
    if (bytes < 1000)
        return QString::number(bytes) + QStringLiteral(" B");
    static const char* const kUnits[] = {" KB", " MB", " GB", " TB"};
    double v = static_cast<double>(bytes);
    int unit = -1;
    while (v >= 1000 && unit < 3) {
        v /= 1000;
        ++unit;
    }
    // Three figures: 1.05, 12.3, 950.
    const int decimals = v < 10 ? 2 : v < 100 ? 1 : 0;
    return QString::number(v, 'f', decimals) + QString::fromLatin1(kUnits[unit]);
}

} // namespace mirantos
