#include "CaptureRequest.h"

#include "Tables.h"

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

} // namespace mirantos
