// capture: a long run streamed to a CSV file. The session's controller runs
// the board exactly as for measure (connect, identify, configure, the start
// command with the count, the same reads) but hands every block to the file
// instead of the record, so memory stays the same for any count.

#include "Ad7177.h"
#include "BoardFactory.h"
#include "BoardOptions.h"
#include "CaptureFile.h"
#include "CliArgs.h"
#include "Commands.h"
#include "Output.h"
#include "Progress.h"
#include "RateTable.h"
#include "Session.h"
#include "SigintWatcher.h"
#include "StopRequest.h"
#include "Tables.h"
#include "Usage.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <csignal>
#include <cstring>
#include <ostream>

namespace mirantos::cli {

namespace {

// The buffer goes to disk half a second after its oldest line at the latest,
// also while the board sends nothing.
constexpr int kFlushCheckMs = 250;

struct CaptureOptions {
    BoardChoice choice;
    TControlValues controls;
    int32_t count = 0;
    std::string output;
    bool force = false;
};

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

bool ParseCapture(const std::vector<std::string>& args, CliIo io, CaptureOptions& o, int& code)
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
        const double sps = RateSps(rate, !o.controls.sinc3);
        const std::string rateText(kRateItems[static_cast<size_t>(rate)]);
        const auto n = static_cast<long long>(static_cast<double>(seconds) * sps);
        if (n > kBoardMaxCount) {
            const auto longest = static_cast<long long>(kBoardMaxCount / sps);
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

std::string UtcNow()
{
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

// The controller's blocks go straight to the file. The file is emptied and
// gets its header with the first block, so a run stopped before its first
// sample leaves a replaced file as it was. A header that cannot be written
// fails that block, which ends the run as a write error.
class TFileSink : public ISampleSink {
public:
    explicit TFileSink(TCaptureWriter& writer) : writer_(writer) {}
    bool Write(const uint32_t* ch0, const uint32_t* ch1, int32_t n) override
    {
        if (!begun_) {
            begun_ = true;
            if (!writer_.Begin(info))
                return false;
        }
        return writer_.Write(ch0, ch1, n);
    }
    bool Begun() const { return begun_; }

    TCaptureInfo info; // set when the run starts

private:
    TCaptureWriter& writer_;
    bool begun_ = false;
};

// A write beyond the file-size limit fails with EFBIG instead of killing the
// process, so the run ends as any other write error does.
class TIgnoreFileSizeSignal {
public:
    TIgnoreFileSizeSignal() { old_ = std::signal(SIGXFSZ, SIG_IGN); }
    ~TIgnoreFileSizeSignal() { std::signal(SIGXFSZ, old_); }
    TIgnoreFileSizeSignal(const TIgnoreFileSizeSignal&) = delete;
    TIgnoreFileSizeSignal& operator=(const TIgnoreFileSizeSignal&) = delete;

private:
    void (*old_)(int) = SIG_DFL;
};

} // namespace

int Capture(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env)
{
    CaptureOptions o;
    int code = kExitOk;
    if (!ParseCapture(args, io, o, code))
        return code;

    if (!CheckOutputs({}, {{"-o", o.output, false}}, o.force, kCaptureUsage, io, code))
        return code;
    // Ctrl-C is ours before the file exists, so it never ends the process
    // with a new empty file left behind.
    TSigintWatcher sigint;
    // The file is opened before the board is touched: an existing one is
    // refused, and a path that cannot be written costs no run.
    TCaptureWriter writer;
    if (!writer.Open(o.output, o.force)) {
        if (writer.Error() == EEXIST)
            return Fail(io, ExistsText(o.output), kExitFailure);
        return Fail(io, "cannot write " + o.output + ": " + std::strerror(writer.Error()),
                    kExitFailure);
    }

    std::unique_ptr<IFtdiDriver> driver = MakeBoardDriver(o.choice, env);
    if (!driver) {
        writer.Abandon();
        return Fail(io, "no board driver", kExitBoard);
    }

    // Numbers only: no graph.
    TCliSession cli(o.controls, io.err, std::move(driver), QSize());
    if (!cli.Ready()) {
        writer.Abandon();
        return kExitFailure;
    }
    TMeasureSession& session = cli.Session();
    TMeasureController& controller = *session.Controller();
    const int rate = o.controls.rateIndex;
    const double sps = RateSps(rate, !o.controls.sinc3);
    TProgress progress(io, std::string(kRateItems[static_cast<size_t>(rate)]), sps);
    TIgnoreFileSizeSignal fileSizeSignal;
    TFileSink sink(writer);

    QObject context;
    QEventLoop loop;
    QTimer flushTimer;
    QElapsedTimer elapsed;
    bool started = false;
    bool ended = false;
    TMeasureController::RunEnd how = TMeasureController::RunEnd::Completed;

    TStopRequest stop(session);

    QObject::connect(&controller, &TMeasureController::RunStarted, &context, [&] {
        started = true;
        elapsed.start();
        TCaptureInfo& info = sink.info;
        info.rateIndex = rate;
        info.rateSps = sps;
        info.sinc5 = !o.controls.sinc3;
        info.chSel = o.controls.channelIndex;
        info.gain = session.Board()->GetGain();
        info.board = (controller.Board() + QLatin1Char(' ') + controller.Version()).toStdString();
        info.startUtc = UtcNow();
        io.err << Utf8(cli.PanelText(TmyStatus::BoardPanel)) << "  "
               << Utf8(cli.PanelText(TmyStatus::RunPanel)) << '\n'
               << std::flush;
        flushTimer.start(kFlushCheckMs);
    });
    QObject::connect(&controller, &TMeasureController::SamplesReceived, &context,
                     [&](int received, int target) {
                         progress.Update(received, target,
                                         "  " + TProgress::Duration(elapsed.elapsed() / 1000) +
                                             " elapsed  " + MegaBytes(writer.Bytes()));
                         if (env.onSamples)
                             env.onSamples(received, target);
                     });
    QObject::connect(&controller, &TMeasureController::RunEnded, &context,
                     [&](TMeasureController::RunEnd h) {
                         ended = true;
                         how = h;
                         loop.quit();
                     });
    QObject::connect(&sigint, &TSigintWatcher::interrupted, &context, [&] { stop.Request(); });
    QObject::connect(&flushTimer, &QTimer::timeout, &context, [&] {
        // A failed write while the board sends nothing still ends the run.
        if (!writer.FlushIfDue() && writer.Failed()) {
            stop.Request();
        }
    });

    session.StartCapture(&sink, o.count);
    if (!started) {
        writer.Abandon();
        if (cli.Presenter().Shown() == 0)
            io.err << Utf8(cli.PanelText(TmyStatus::BoardPanel)) << '\n' << std::flush;
        return kExitBoard;
    }
    if (!ended)
        loop.exec();
    flushTimer.stop();
    progress.Finish();

    if (!sink.Begun()) {
        // Not a sample came: a new file goes again, a replaced one keeps its content.
        writer.Abandon();
        io.err << Utf8(cli.PanelText(how == TMeasureController::RunEnd::ReadError
                                         ? TmyStatus::DetailPanel
                                         : TmyStatus::RunPanel))
               << "\nno samples; " << o.output << " not written\n"
               << std::flush;
        return how == TMeasureController::RunEnd::Stopped     ? kExitInterrupted
               : how == TMeasureController::RunEnd::ReadError ? kExitBoard
                                                              : kExitFailure;
    }

    TCaptureEnd end = TCaptureEnd::Complete;
    if (how == TMeasureController::RunEnd::Stopped)
        end = TCaptureEnd::Stopped;
    else if (how == TMeasureController::RunEnd::ReadError)
        end = TCaptureEnd::ReadError;
    else if (how == TMeasureController::RunEnd::WriteError)
        end = TCaptureEnd::WriteError;
    const bool written = writer.Finish(end);

    int result = kExitOk;
    if (!written) {
        io.err << "mirantos-cli: cannot write " << o.output << ": " << std::strerror(writer.Error())
               << '\n';
        result = kExitFailure;
    } else if (how == TMeasureController::RunEnd::ReadError) {
        io.err << Utf8(cli.PanelText(TmyStatus::DetailPanel)) << '\n';
        if (!controller.ReadFailure().empty())
            io.err << "mirantos-cli: " << controller.ReadFailure() << '\n';
        result = kExitBoard;
    } else if (how == TMeasureController::RunEnd::Stopped) {
        io.err << Utf8(cli.PanelText(TmyStatus::RunPanel)) << '\n';
        result = kExitInterrupted;
    } else {
        io.err << Utf8(cli.PanelText(TmyStatus::RunPanel)) << '\n';
    }
    io.err << writer.Samples() << " samples written to " << o.output << " (" << writer.Bytes()
           << " bytes)\n"
           << std::flush;
    return result;
}

} // namespace mirantos::cli
