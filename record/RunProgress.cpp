#include "RunProgress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace mirantos {

TRunProgress RunProgressOf(int64_t received, int64_t target, double sps)
{
    TRunProgress p;
    if (target > 0)
        p.percent = static_cast<int>(received * 100 / target);
    if (sps > 0)
        p.secondsLeft = static_cast<long long>(
            std::ceil(static_cast<double>(std::max<int64_t>(0, target - received)) / sps));
    return p;
}

std::string DurationText(long long seconds)
{
    seconds = std::max(0LL, seconds);
    char buf[40];
    if (seconds >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", seconds / 60, seconds % 60);
    return buf;
}

} // namespace mirantos
