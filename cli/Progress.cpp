#include "Progress.h"

#include "RunProgress.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace mirantos::cli {

namespace {

constexpr int kBarCells = 30;
// A terminal redraw at most this often; the last sample always draws.
constexpr qint64 kRedrawMs = 100;

} // namespace

TProgress::TProgress(CliIo io, std::string rateText, double sps)
    : io_(io), rateText_(std::move(rateText)), sps_(sps)
{
}

std::string TProgress::Duration(long long seconds)
{
    return DurationText(seconds);
}

std::string TProgress::Bar(int received, int target, int width)
{
    const int filled =
        target > 0 ? static_cast<int>(static_cast<long long>(std::clamp(received, 0, target)) *
                                      width / target)
                   : 0;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(width - filled), '-') + "]";
}

std::string TProgress::Line(int received, int target, const std::string& rateText, double sps)
{
    const TRunProgress p = RunProgressOf(received, target, sps);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%3d%% %6d/%d samples  ", p.percent, received, target);
    return buf + rateText + "  " + Duration(p.secondsLeft) + " left";
}

void TProgress::Update(int received, int target, const std::string& extra)
{
    if (io_.errIsTerminal) {
        const bool last = received >= target;
        if (drawn_ && !last && sinceDraw_.isValid() && sinceDraw_.elapsed() < kRedrawMs)
            return;
        sinceDraw_.start();
        drawn_ = true;
        // Clear to the end of the line: the new text may be shorter.
        io_.err << '\r' << Bar(received, target, kBarCells) << ' '
                << Line(received, target, rateText_, sps_) << extra << "\x1b[K" << std::flush;
        return;
    }
    const int decile =
        target > 0 ? static_cast<int>(static_cast<long long>(received) * 10 / target) : 0;
    if (decile <= lastDecile_)
        return;
    lastDecile_ = decile;
    io_.err << Line(received, target, rateText_, sps_) << extra << '\n' << std::flush;
}

void TProgress::Finish()
{
    if (io_.errIsTerminal && drawn_) {
        io_.err << '\n' << std::flush;
        drawn_ = false;
    }
}

} // namespace mirantos::cli
