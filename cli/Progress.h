#pragma once
// Progress of a run on the error stream: a bar redrawn in place on a terminal,
// a line per further 10 % anywhere else.

#include "Commands.h"

#include <QElapsedTimer>
#include <string>

namespace mirantos::cli {

class TProgress {
public:
    // `rateText` is the rate list's text, `sps` the samples per second behind it.
    TProgress(CliIo io, std::string rateText, double sps);

    // `extra` is appended to the line (a capture's elapsed time and bytes).
    void Update(int received, int target, const std::string& extra = {});
    // Ends the bar's line on a terminal, so later output starts on a new one.
    void Finish();

    // "  50%   500/1000 samples  1ksps  0:01 left"
    static std::string Line(int received, int target, const std::string& rateText, double sps);
    // "[##########----------]" for `width` cells.
    static std::string Bar(int received, int target, int width);
    // Seconds as m:ss, or h:mm:ss from an hour on.
    static std::string Duration(long long seconds);

private:
    CliIo io_;
    std::string rateText_;
    double sps_;
    int lastDecile_ = 0;
    bool drawn_ = false;
    QElapsedTimer sinceDraw_;
};

} // namespace mirantos::cli
