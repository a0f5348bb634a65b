// measure: one run through the window's controller, from the start button to
// the readout, with Ctrl-C as the stop button.

#include "Ad7177.h"
#include "BoardFactory.h"
#include "BoardOptions.h"
#include "BoardRun.h"
#include "CliArgs.h"
#include "Commands.h"
#include "Output.h"
#include "Progress.h"
#include "RateTable.h"
#include "Session.h"
#include "SigintWatcher.h"
#include "StopRequest.h"
#include "Tables.h"
#include "Texts.h"
#include "Usage.h"

#include <QEventLoop>
#include <QScopeGuard>
#include <QTimer>
#include <optional>
#include <ostream>

namespace mirantos::cli {

namespace {

// On false the exit code is in `code`.
bool ParseMeasure(const std::vector<std::string>& args, CliIo io, TDataSetRun& o, int& code)
{
    ParsedArgs parsed;
    std::vector<OptionSpec> specs = BoardOptionSpecs();
    specs.insert(specs.end(), {{"--count", "", true},
                               {"--unit", "", true},
                               {"--output", "-o", true},
                               {"--force", "", false},
                               {"--png", "", true}});
    auto usage = [&](const std::string& problem) {
        code = UsageError(io, problem, kMeasureUsage);
        return false;
    };
    if (!ParseCommandArgs(args, specs, kMeasureUsage, io, parsed, code))
        return false;
    if (!parsed.positional.empty())
        return usage("unexpected argument \"" + parsed.positional.front() + "\"");

    if (std::string problem; !ParseBoardOptions(parsed, o.choice, o.controls, problem))
        return usage(problem);
    if (const auto v = parsed.Value("--count"); v && !ParseCountText(*v, o.controls.countIndex))
        return usage("--count takes 100, 200, 500, 1000, 2000, 5000 or 10000, not \"" + *v + "\"");
    if (const auto v = parsed.Value("--unit")) {
        if (*v == "code")
            o.controls.voltMode = false;
        else if (*v == "uv")
            o.controls.voltMode = true;
        else
            return usage("--unit takes code or uv, not \"" + *v + "\"");
    }
    o.force = parsed.Flag("--force");
    if (const auto v = parsed.Value("--output")) {
        if (v->empty())
            return usage("-o needs a file name");
        o.output = WithDtaExtension(*v);
    }
    if (const auto v = parsed.Value("--png")) {
        if (v->empty())
            return usage("--png needs a file name");
        o.png = *v;
    }
    if (o.force && !o.output && !o.png)
        return usage("--force goes with -o FILE or --png FILE");
    return true;
}

} // namespace

int Measure(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env)
{
    TDataSetRun o;
    int code = kExitOk;
    if (!ParseMeasure(args, io, o, code))
        return code;

    // Refused before the run rather than after it, so no measurement is lost.
    std::vector<TOutputFile> outputs;
    if (o.output)
        outputs.push_back({"-o", *o.output, false});
    if (o.png)
        outputs.push_back({"--png", *o.png, false});
    if (!CheckOutputs({}, outputs, o.force, kMeasureUsage, io, code))
        return code;
    return RunDataSet(o, io, env);
}

int RunDataSet(const TDataSetRun& o, CliIo io, const MeasureEnv& env)
{
    // Ours from before the board is set up, so a stop asked for meanwhile is not lost.
    TSigintWatcher sigint;
    std::unique_ptr<IFtdiDriver> driver = MakeBoardDriver(o.choice, env);
    if (!driver)
        return Fail(io, "no board driver", kExitBoard);

    TCliSession cli(o.controls, io.err, std::move(driver), QSize(kPaintBoxWidth, kPaintBoxHeight),
                    o.force);
    if (!cli.Ready())
        return kExitFailure;
    TMeasureSession& session = cli.Session();
    if (o.simulatedBoard)
        *o.simulatedBoard = session.BoardSimulated();
    TMeasureController& controller = *session.Controller();
    const int rate = o.controls.rateIndex;
    TProgress progress(io, std::string(kRateItems[static_cast<size_t>(rate)]),
                       RateSps(rate, !o.controls.sinc3));
    // The board's identity is known once it is open; whichever way the run ends.
    const auto reportIdentity = qScopeGuard([&] {
        if (o.report)
            o.report->boardIdentity = session.BoardIdentity();
    });

    // Every connection below ends with this object, so nothing of ours runs
    // after the command has returned.
    QObject context;
    QEventLoop loop;
    bool started = false;
    bool ended = false;
    TMeasureController::RunEnd how = TMeasureController::RunEnd::Completed;

    TStopRequest stop(session);

    QObject::connect(&controller, &TMeasureController::RunStarted, &context, [&] {
        started = true;
        if (o.report)
            o.report->started = true;
        io.err << Utf8(cli.PanelText(TmyStatus::BoardPanel)) << "  "
               << Utf8(cli.PanelText(TmyStatus::RunPanel)) << '\n'
               << std::flush;
    });
    QObject::connect(&controller, &TMeasureController::SamplesReceived, &context,
                     [&](int received, int target) {
                         progress.Update(received, target);
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
    // A stop asked for while the board was being set up: the run never starts.
    if (sigint.Received()) {
        io.err << "mirantos-cli: stopped before the run started\n" << std::flush;
        return kExitInterrupted;
    }

    session.Start();
    if (!started) {
        // The start failed: the window's message box (already printed), or
        // for a refused configuration the board panel's text.
        if (cli.Presenter().Shown() == 0)
            io.err << Utf8(cli.PanelText(TmyStatus::BoardPanel)) << '\n' << std::flush;
        return kExitBoard;
    }
    if (!ended)
        loop.exec();
    progress.Finish();

    switch (how) {
    case TMeasureController::RunEnd::ReadError:
    case TMeasureController::RunEnd::WriteError: // a capture's only
        io.err << Utf8(cli.PanelText(TmyStatus::DetailPanel)) << '\n';
        if (!controller.ReadFailure().empty())
            io.err << "mirantos-cli: " << controller.ReadFailure() << '\n';
        // From ten samples on, what arrived before the failure is kept and
        // saved as a stop keeps it; the exit status still tells of the error.
        if (!session.HasData()) {
            if (o.readFailure)
                *o.readFailure = ReadErrorText(controller.ReadFailure());
            io.err << "mirantos-cli: " << controller.Received() << " samples, fewer than "
                   << kMinKeptSamples << ": nothing kept"
                   << (o.output ? "; " + *o.output + " not written" : std::string()) << '\n'
                   << std::flush;
            return kExitBoard;
        }
        io.err << std::flush;
        if (o.readFailure)
            *o.readFailure = ReadErrorText(controller.ReadFailure());
        break;
    case TMeasureController::RunEnd::Discarded:
        io.err << Utf8(cli.PanelText(TmyStatus::RunPanel)) << " (" << controller.Received()
               << " samples, fewer than " << kMinKeptSamples << ": nothing kept)\n"
               << std::flush;
        return kExitInterrupted;
    case TMeasureController::RunEnd::Completed:
    case TMeasureController::RunEnd::Stopped:
        break;
    }

    const bool failed = how == TMeasureController::RunEnd::ReadError;
    if (!failed)
        io.err << Utf8(cli.PanelText(TmyStatus::RunPanel)) << '\n' << std::flush;
    if (session.Settings().CHSel == 2) {
        io.out << Utf8(cli.ChannelReadout(0)) << '\n';
        io.out << Utf8(cli.ChannelReadout(1)) << '\n';
    } else {
        io.out << Utf8(cli.ChannelReadout(session.ShownChannel())) << '\n';
    }
    io.out << std::flush;

    int result = failed                                       ? kExitBoard
                 : how == TMeasureController::RunEnd::Stopped ? kExitInterrupted
                                                              : kExitOk;
    if (o.output) {
        const TSaveOutcome outcome = session.Save(*o.output);
        if (outcome == TSaveOutcome::Failed) {
            // After the window's box, what happened to the file.
            const std::string& why = session.File()->Error();
            result = why.empty() ? kExitFailure : Fail(io, why, kExitFailure);
        } else if (outcome == TSaveOutcome::Declined) {
            result = Fail(io, *o.output + " appeared during the run; not replaced without --force",
                          kExitFailure);
        } else {
            io.err << (failed ? std::string("saved") : Utf8(cli.PanelText(TmyStatus::RunPanel)))
                   << ": " << *o.output << '\n'
                   << std::flush;
        }
    }
    if (o.png && !WritePng(io, *o.png, cli.View().Picture()))
        result = kExitFailure;
    return result;
}

} // namespace mirantos::cli
