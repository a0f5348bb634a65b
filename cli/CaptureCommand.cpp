// capture: a long run streamed to a CSV file. The session's controller runs
// the board exactly as for measure (connect, identify, configure, the start
// command with the count, the same reads) but hands every block to the file
// instead of the record, so memory stays the same for any count.

#include "BoardFactory.h"
#include "BoardOptions.h"
#include "BoardRun.h"
#include "CaptureRun.h"
#include "CliArgs.h"
#include "Commands.h"
#include "Output.h"
#include "Progress.h"
#include "RateTable.h"
#include "Session.h"
#include "SigintWatcher.h"
#include "Tables.h"
#include "Usage.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <cstring>
#include <ostream>

namespace mirantos::cli {

namespace {

// "90s", "15m", "2h" to seconds.
bool ParseDuration(std::string_view text, long long& seconds)
{
    if (text.size() < 2)
        return false;
    const char unit = text.back();
    const long long scale = unit == 's' ? 1 : unit == 'm' ? 60 : unit == 'h' ? 3600 : 0;
    long long n = 0;
    if (scale == 0 || !ParseInt(text.substr(0, text.size() - 1), 1, 1000000, n))
        return false;
    seconds = n * scale;
    return true;
}

bool ParseCapture(const std::vector<std::string>& args, CliIo io, TCaptureJob& o, int& code)
{
    ParsedArgs parsed;
    std::vector<OptionSpec> specs = BoardOptionSpecs();
    specs.insert(specs.end(), {{"--samples", "", true},
                               {"--duration", "", true},
                               {"--force", "", false},
                               {"--output", "-o", true}});
    auto usage = [&](const std::string& problem) {
        code = UsageError(io, problem, kCaptureUsage);
        return false;
    };
    if (!ParseCommandArgs(args, specs, kCaptureUsage, io, parsed, code))
        return false;
    if (!parsed.positional.empty())
        return usage("unexpected argument \"" + parsed.positional.front() + "\"");

    if (std::string problem; !ParseBoardOptions(parsed, o.choice, o.controls, problem))
        return usage(problem);

    const auto samples = parsed.Value("--samples");
    const auto duration = parsed.Value("--duration");
    if (samples.has_value() == duration.has_value())
        return usage("give either --samples N or --duration D");
    if (samples) {
        long long n = 0;
        if (!ParseInt(*samples, kMinCaptureCount, kBoardMaxCount, n))
            return usage("--samples takes " + std::to_string(kMinCaptureCount) + " to " +
                         std::to_string(kBoardMaxCount) + ", not \"" + *samples + "\"");
        o.count = static_cast<int32_t>(n);
    } else {
        long long seconds = 0;
        if (!ParseDuration(*duration, seconds))
            return usage("--duration takes a whole number with s, m or h (90s, 15m, 2h), not \"" +
                         *duration + "\"");
        const int rate = o.controls.rateIndex;
        const bool sinc5 = !o.controls.sinc3;
        const std::string rateText(kRateItems[static_cast<size_t>(rate)]);
        const int64_t n = CaptureCountForSeconds(seconds, rate, sinc5);
        if (n > kBoardMaxCount) {
            const int64_t longest = CaptureMaxSeconds(rate, sinc5);
            return usage("--duration " + *duration + " is " + std::to_string(n) + " samples at " +
                         rateText + "; the board takes at most " + std::to_string(kBoardMaxCount) +
                         " (" + TProgress::Duration(longest) + " at that rate)");
        }
        if (n < kMinCaptureCount)
            return usage("--duration " + *duration + " is fewer than " +
                         std::to_string(kMinCaptureCount) + " samples at " + rateText);
        o.count = static_cast<int32_t>(n);
    }

    o.force = parsed.Flag("--force");
    const auto output = parsed.Value("--output");
    if (!output || output->empty())
        return usage("no capture file given (-o FILE.csv)");
    o.output = *output;
    return true;
}

std::string MegaBytes(int64_t bytes)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return buf;
}

} // namespace

std::string ReadErrorText(const std::string& reason)
{
    return "read error: " + (reason.empty() ? std::string("reading the board failed") : reason);
}

int Capture(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env)
{
    TCaptureJob o;
    int code = kExitOk;
    if (!ParseCapture(args, io, o, code))
        return code;

    if (!CheckOutputs({}, {{"-o", o.output, false}}, o.force, kCaptureUsage, io, code))
        return code;
    return RunCapture(o, io, env);
}

int RunCapture(const TCaptureJob& o, CliIo io, const MeasureEnv& env)
{
    // Ctrl-C (SIGTERM, SIGHUP) is ours before the file exists; a new file
    // gets its name only with the first block in any case.
    TSigintWatcher sigint;
    // The file is opened before the board is touched: an existing one is
    // refused, and a path that cannot be written costs no run.
    TCaptureRun run;
    if (!run.Open(o.output, o.force)) {
        if (run.OpenError() == EEXIST)
            return Fail(io, ExistsText(o.output), kExitFailure);
        return Fail(io, "cannot write " + o.output + ": " + std::strerror(run.OpenError()),
                    kExitFailure);
    }

    std::unique_ptr<IFtdiDriver> driver = MakeBoardDriver(o.choice, env);
    if (!driver) {
        run.Abandon();
        return Fail(io, "no board driver", kExitBoard);
    }

    // Numbers only: no graph.
    TCliSession cli(o.controls, io.err, std::move(driver), QSize());
    if (!cli.Ready()) {
        run.Abandon();
        return kExitFailure;
    }
    TMeasureSession& session = cli.Session();
    if (o.simulatedBoard)
        *o.simulatedBoard = session.BoardSimulated();
    TMeasureController& controller = *session.Controller();
    const int rate = o.controls.rateIndex;
    const double sps = RateSps(rate, !o.controls.sinc3);
    TProgress progress(io, std::string(kRateItems[static_cast<size_t>(rate)]), sps);
    // The board's identity is known once it is open; whichever way the run ends.
    const auto reportIdentity = qScopeGuard([&] {
        if (o.report)
            o.report->boardIdentity = session.BoardIdentity();
    });

    QObject context;
    QEventLoop loop;
    QElapsedTimer elapsed;
    bool ended = false;

    QObject::connect(&controller, &TMeasureController::RunStarted, &context, [&] {
        elapsed.start();
        if (o.report)
            o.report->started = true;
        io.err << Utf8(cli.PanelText(TmyStatus::BoardPanel)) << "  "
               << Utf8(cli.PanelText(TmyStatus::RunPanel)) << '\n'
               << std::flush;
    });
    QObject::connect(&controller, &TMeasureController::SamplesReceived, &context,
                     [&](int received, int target) {
                         progress.Update(received, target,
                                         "  " + TProgress::Duration(elapsed.elapsed() / 1000) +
                                             " elapsed  " + MegaBytes(run.Bytes()));
                         if (env.onSamples)
                             env.onSamples(received, target);
                     });
    QObject::connect(&run, &TCaptureRun::Ended, &context, [&] {
        ended = true;
        loop.quit();
    });
    QObject::connect(&sigint, &TSigintWatcher::interrupted, &context, [&] { run.RequestStop(); });
    // A stop asked for while the board was being set up: the run never starts.
    if (sigint.Received()) {
        run.Abandon();
        io.err << "mirantos-cli: stopped before the run started; " << o.output << " not written\n"
               << std::flush;
        return kExitInterrupted;
    }

    TCaptureSettings settings;
    settings.rateIndex = rate;
    settings.sinc5 = !o.controls.sinc3;
    settings.chSel = o.controls.channelIndex;
    settings.count = o.count;
    if (!run.Start(session, settings)) {
        if (cli.Presenter().Shown() == 0)
            io.err << Utf8(cli.PanelText(TmyStatus::BoardPanel)) << '\n' << std::flush;
        return kExitBoard;
    }
    if (!ended)
        loop.exec();
    progress.Finish();

    const TCaptureResult& result = run.Result();
    using RunEnd = TMeasureController::RunEnd;
    if (!result.kept) {
        if (result.how == RunEnd::ReadError && o.readFailure)
            *o.readFailure = ReadErrorText(result.readFailure);
        io.err << Utf8(cli.PanelText(result.how == RunEnd::ReadError ? TmyStatus::DetailPanel
                                                                     : TmyStatus::RunPanel))
               << "\nno samples; " << o.output << " not written\n"
               << std::flush;
        return result.how == RunEnd::Stopped     ? kExitInterrupted
               : result.how == RunEnd::ReadError ? kExitBoard
                                                 : kExitFailure;
    }

    int exitCode = kExitOk;
    if (!result.written) {
        io.err << "mirantos-cli: cannot write " << o.output << ": " << std::strerror(result.error)
               << '\n';
        exitCode = kExitFailure;
    } else if (result.how == RunEnd::ReadError) {
        io.err << Utf8(cli.PanelText(TmyStatus::DetailPanel)) << '\n';
        if (!result.readFailure.empty())
            io.err << "mirantos-cli: " << result.readFailure << '\n';
        if (o.readFailure)
            *o.readFailure = ReadErrorText(result.readFailure);
        exitCode = kExitBoard;
    } else if (result.how == RunEnd::Stopped) {
        io.err << Utf8(cli.PanelText(TmyStatus::RunPanel)) << '\n';
        exitCode = kExitInterrupted;
    } else {
        io.err << Utf8(cli.PanelText(TmyStatus::RunPanel)) << '\n';
    }
    io.err << result.samples << " samples written to " << o.output << " (" << result.bytes
           << " bytes)\n"
           << std::flush;
    return exitCode;
}

} // namespace mirantos::cli
