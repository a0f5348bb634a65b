// test: one board through a noise test. The limits file fixes the settings;
// the run is measure's (a count of the list) or capture's (any other count),
// the data file is read back as analyze reads it, every limit is checked, the
// verdict printed and the result stored in the results database.

#include "BoardRun.h"
#include "CliArgs.h"
#include "Commands.h"
#include "MirantosVersion.h"
#include "NewFile.h"
#include "Output.h"
#include "ResultsDb.h"
#include "RunFields.h"
#include "SampleSource.h"
#include "SigintWatcher.h"
#include "Tables.h"
#include "UnsavedData.h"
#include "Usage.h"
#include "Verdict.h"
#include "WholeFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSysInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <unistd.h>

namespace mirantos::cli {

namespace {

namespace fs = std::filesystem;

struct TestOptions {
    std::string limitsPath;
    std::string serial;
    std::string operatorName;
    std::string station;
    std::string partNumber, lot, dutId; // optional; the limits file's part number and lot else
    results::TDbTarget db;
    std::optional<std::string> junit;
    std::optional<std::string> keepDir;
    bool force = false;
    ParsedArgs parsed; // the board options, read once the limits file is
};

bool ParseTest(const std::vector<std::string>& args, CliIo io, TestOptions& o, int& code)
{
    std::vector<OptionSpec> specs = BoardOptionSpecs();
    specs.insert(specs.end(), {{"--limits", "", true},
                               {"--serial", "", true},
                               {"--operator", "", true},
                               {"--station", "", true},
                               {"--part-number", "", true},
                               {"--lot", "", true},
                               {"--dut-id", "", true},
                               {"--db", "", true},
                               {"--junit", "", true},
                               {"--keep-data", "", true},
                               {"--force", "", false}});
    auto usage = [&](const std::string& problem) {
        code = UsageError(io, problem, kTestUsage);
        return false;
    };
    // The parser turns bytes that are not UTF-8 into U+FFFD: the raw values
    // are checked, so such a text is refused rather than stored altered.
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const size_t eq = a.find('=');
        const bool joined = a.starts_with("--") && eq != std::string::npos;
        const std::string name = joined ? a.substr(0, eq) : i > 0 ? args[i - 1] : std::string();
        if (name != "--serial" && name != "--operator" && name != "--station" &&
            name != "--part-number" && name != "--lot" && name != "--dut-id")
            continue;
        if (std::string problem =
                station::FieldProblem(name, joined ? a.substr(eq + 1) : a, a.size());
            !problem.empty())
            return usage(problem);
    }
    ParsedArgs& parsed = o.parsed;
    if (!ParseCommandArgs(args, specs, kTestUsage, io, parsed, code))
        return false;
    if (!parsed.positional.empty())
        return usage("unexpected argument \"" + parsed.positional.front() + "\"");
    for (const char* fixed : {"--rate", "--filter", "--channels"}) {
        if (parsed.Value(fixed))
            return usage(std::string(fixed) + " is set by the limits file");
    }
    const auto limits = parsed.Value("--limits");
    if (!limits || limits->empty())
        return usage("no limits file given (--limits FILE)");
    o.limitsPath = *limits;
    const auto serial = parsed.Value("--serial");
    if (!serial || serial->empty())
        return usage("no serial number given (--serial TEXT)");
    o.serial = *serial;
    o.operatorName = parsed.Value("--operator").value_or("");
    if (const auto v = parsed.Value("--station")) {
        if (v->empty())
            return usage("--station needs a name");
        o.station = *v;
    } else {
        o.station = QSysInfo::machineHostName().toStdString();
        if (o.station.empty())
            o.station = "localhost";
    }
    o.partNumber = parsed.Value("--part-number").value_or("");
    o.lot = parsed.Value("--lot").value_or("");
    o.dutId = parsed.Value("--dut-id").value_or("");
    // Before the board: each ends up in file names, the database and JUnit.
    if (std::string problem = station::RunFieldsProblem(o.serial, o.operatorName, o.station, "");
        !problem.empty() ||
        !(problem = station::DutFieldsProblem(o.partNumber, o.lot, o.dutId)).empty())
        return usage(problem);
    std::string error;
    const auto db = results::ParseDbUrl(parsed.Value("--db").value_or(""), error);
    if (!db)
        return usage("--db: " + error);
    o.db = *db;
    if (const auto v = parsed.Value("--junit")) {
        if (v->empty())
            return usage("--junit needs a file name");
        o.junit = *v;
    }
    if (const auto v = parsed.Value("--keep-data")) {
        if (v->empty())
            return usage("--keep-data needs a folder");
        o.keepDir = *v;
    }
    o.force = parsed.Flag("--force");
    if (o.force && !o.junit)
        return usage("--force goes with --junit FILE (a kept data file is never replaced)");
    return true;
}

// The files every run reads and writes besides the limits: the SQLite
// database with its journal files, and the spool (the default file) with
// its own. No output may be one of them, --force or not.
struct TDbFile {
    std::string path;
    std::string owner; // "the results database r.sqlite"
};
std::vector<TDbFile> DatabaseFiles(const results::TDbTarget& db)
{
    std::vector<TDbFile> files;
    const std::string spool = results::DefaultSqlitePath();
    for (const std::string& base :
         {db.engine == results::TDbTarget::Engine::Sqlite ? db.sqlitePath : std::string(), spool}) {
        if (base.empty())
            continue;
        const std::string owner =
            (base == spool && db.engine == results::TDbTarget::Engine::Postgres
                 ? "the local spool "
                 : "the results database ") +
            base;
        for (const char* suffix : {"", "-wal", "-shm", "-journal"})
            files.push_back({base + suffix, owner});
    }
    return files;
}

// Refuses (exit 2) an output that is one of the database's files, naming both.
bool CheckNotDatabase(const std::vector<TDbFile>& files, std::string_view option,
                      const std::string& path, CliIo io, int& code)
{
    for (const TDbFile& f : files) {
        if (SameFile(path, f.path)) {
            code = UsageError(io,
                              std::string(option) + " " + path + " is " +
                                  (f.path == f.owner.substr(f.owner.rfind(' ') + 1)
                                       ? f.owner
                                       : f.path + ", a file of " + f.owner) +
                                  "; it is never overwritten",
                              kTestUsage);
            return false;
        }
    }
    return true;
}

// The board as the limits file sets it, then the command line's board options over it.
bool ChooseBoard(const station::TTestSettings& s, const ParsedArgs& parsed, BoardChoice& choice,
                 TControlValues& controls, std::string& problem)
{
    choice.board = s.sim ? BoardKind::Sim : BoardKind::Usb;
    choice.seed = s.simSeed;
    choice.simFlickerNv = s.simFlickerNv;
    choice.simDriftUvPerH = s.simDriftUvPerH;
    choice.simPickupUv = s.simPickupUv;
    choice.simTone = {s.simToneHz, s.simToneUv, s.simToneHd2Dbc, s.simToneHd3Dbc};
    controls.rateIndex = s.rateIndex;
    controls.sinc3 = !s.sinc5;
    controls.channelIndex = s.chSel;
    const auto count = std::find(kCountValues.begin(), kCountValues.end(), s.samples);
    if (count != kCountValues.end())
        controls.countIndex = static_cast<int>(count - kCountValues.begin());
    return ParseBoardOptions(parsed, choice, controls, problem);
}

constexpr const char* kScratchPrefix = "mirantos-test-";

// The run's temporary folder, "mirantos-test-<pid>-XXXXXX" in the temporary
// folder; those of runs that were killed (their process is gone) go first.
std::unique_ptr<QTemporaryDir> MakeScratchDir()
{
    const QDir temp(QDir::tempPath());
    const QString prefix = QString::fromLatin1(kScratchPrefix);
    for (const QFileInfo& info :
         temp.entryInfoList({prefix + QStringLiteral("*")}, QDir::Dirs | QDir::NoSymLinks)) {
        bool number = false;
        const long pid =
            info.fileName().mid(prefix.size()).section(QLatin1Char('-'), 0, 0).toLong(&number);
        if (number && pid > 0 && info.ownerId() == ::geteuid() &&
            ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            QDir(info.absoluteFilePath()).removeRecursively();
    }
    auto dir = std::make_unique<QTemporaryDir>(
        temp.filePath(prefix + QString::number(::getpid()) + QStringLiteral("-XXXXXX")));
    if (!dir->isValid())
        return nullptr;
    return dir;
}

// What the spool did on the way: runs the server refused (they no longer hold
// back the others) and runs that wait for another server.
void ReportSpool(CliIo io, const results::TStoreOutcome& stored, const std::string& spool)
{
    for (const std::string& refused : stored.refused)
        io.err << "mirantos-cli: warning: a spooled result was refused and left in " << spool
               << ": " << refused << '\n';
    if (stored.elsewhere > 0)
        io.err << "mirantos-cli: " << stored.elsewhere << " waiting for another server in " << spool
               << " (see `mirantos-cli results --pending`)\n";
    io.err << std::flush;
}

} // namespace

int Test(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env)
{
    TestOptions o;
    int code = kExitOk;
    if (!ParseTest(args, io, o, code))
        return code;

    station::TTestLimits limits;
    if (std::string error; !station::ReadLimitsFile(o.limitsPath, limits, error))
        return Fail(io, error, kExitFailure);
    if (const std::string problem =
            station::FieldProblem("--limits " + o.limitsPath + ": the test's name", limits.name,
                                  station::kMaxTestNameBytes);
        !problem.empty())
        return UsageError(io, problem, kTestUsage);
    const std::vector<TDbFile> dbFiles = DatabaseFiles(o.db);
    if ((o.keepDir && !CheckNotDatabase(dbFiles, "--keep-data", *o.keepDir, io, code)) ||
        (o.junit && !CheckNotDatabase(dbFiles, "--junit", *o.junit, io, code)))
        return code;
    const station::TTestSettings& settings = limits.settings;
    BoardChoice choice;
    TControlValues controls;
    if (std::string problem; !ChooseBoard(settings, o.parsed, choice, controls, problem))
        return UsageError(io, problem, kTestUsage);

    // SIGINT, SIGTERM and SIGHUP stop the run as the stop button does, and
    // outside the run end the command here, so the temporary folder goes too.
    TSigintWatcher stopSignals;
    // The data file's folder: the one to keep it in, or a temporary one that goes with the run.
    std::unique_ptr<QTemporaryDir> scratch;
    std::string dataDir;
    if (o.keepDir) {
        std::error_code ec;
        fs::create_directories(*o.keepDir, ec);
        if (ec || !fs::is_directory(*o.keepDir))
            return Fail(io,
                        "--keep-data " + *o.keepDir + ": not a folder that can be written" +
                            (ec ? ": " + ec.message() : ""),
                        kExitFailure);
        dataDir = fs::absolute(*o.keepDir).lexically_normal().string();
        RemoveStaleTemps(dataDir);
    } else {
        scratch = MakeScratchDir();
        if (!scratch)
            return Fail(io, "cannot make a temporary folder for the data", kExitFailure);
        dataDir = scratch->path().toStdString();
    }

    const std::string startedUtc = station::UtcNow();
    const bool dataSet = settings.IsDataSet();
    const std::string extension = dataSet ? ".DTA" : ".csv";
    // "SN123_20261208T073340Z": a second run of the serial within that second
    // is kept beside it as "-2", linked in under the first free name after the run.
    const std::string keptStem =
        (fs::path(dataDir) / station::KeptDataName(o.serial, startedUtc, "")).string();
    std::string dataPath = keptStem + extension;
    // A kept file is written under a hidden name until it is whole.
    const std::string runPath = o.keepDir ? HiddenTempPath(dataDir) : dataPath;
    std::vector<TOutputFile> outputs;
    if (o.junit)
        outputs.push_back({"--junit", *o.junit, false});
    if (!fs::exists(fs::symlink_status(dataPath)))
        outputs.push_back({"--keep-data", dataPath, false});
    if (!CheckOutputs({o.limitsPath}, outputs, o.force, kTestUsage, io, code) ||
        !CheckNotDatabase(dbFiles, "--keep-data", dataPath, io, code))
        return code;

    // The run's own report (board, progress, readout) goes to the error
    // stream: the output stream carries the verdict table alone.
    const CliIo runIo{io.err, io.err, io.errIsTerminal};
    QElapsedTimer elapsed;
    elapsed.start();
    bool simulated = false;
    std::string readError;
    TRunReport report;
    const int runCode = dataSet ? RunDataSet({choice, controls, runPath, false, std::nullopt,
                                              &simulated, &readError, &report},
                                             runIo, env)
                                : RunCapture({choice, controls, settings.samples, runPath, false,
                                              &simulated, &readError, &report},
                                             runIo, env);
    const std::string endedUtc = station::UtcNow();
    const double seconds = static_cast<double>(elapsed.elapsed()) / 1000.0;
    if (o.keepDir && fs::exists(fs::symlink_status(runPath))) {
        // Whatever the run wrote is kept, as it was before the name was free.
        int err = 0;
        dataPath = LinkInUnderFreeName(runPath, keptStem, extension, err);
        if (dataPath.empty())
            return Fail(io,
                        "cannot keep the data as " + keptStem + extension + ": " +
                            std::strerror(err) + " (it is in " + runPath + ")",
                        kExitFailure);
    }
    // A run that never reached the board has said why and stores nothing. One
    // that was stopped or ended in a read error is judged on what it measured
    // (each figure without a value and its reason when that was too little)
    // and stored as ABORTED or FAIL.
    const bool readFailed = runCode == kExitBoard && !readError.empty();
    const bool stoppedRun = runCode == kExitInterrupted && report.started;
    if (runCode != kExitOk && !readFailed && !stoppedRun)
        return runCode;

    TSampleSet samples;
    const bool measured = fs::exists(fs::symlink_status(dataPath));
    if (measured && !LoadSamples(dataPath, samples, io))
        return kExitFailure;
    const double rateSps = samples.rateSps > 0 ? samples.rateSps : settings.RateSps();
    station::TVerdict verdict =
        station::CheckMeasuredChannels(limits, measured ? samples.chSel : settings.chSel,
                                       {samples.ch0, samples.ch1}, rateSps, samples.gain);
    if (readFailed)
        verdict = station::WithRunError(std::move(verdict), readError);
    // Stopped in the run, or after it before the result was judged: ABORTED,
    // with the figures of what was measured, and the exit of a stopped command.
    const bool interrupted = runCode == kExitInterrupted || stopSignals.Received();
    if (interrupted)
        verdict = station::WithStop(std::move(verdict), "stopped by Ctrl-C, SIGTERM or SIGHUP");
    // A simulated pass must never read as a real board's.
    if (simulated)
        io.out << "board: simulated (the built-in simulated board, not a real one)\n";
    io.out << station::VerdictTable(verdict) << std::flush;

    // A figure the run could not give is the test's error, not the board's failure.
    int result = interrupted                 ? kExitInterrupted
                 : readFailed                ? kExitBoard
                 : verdict.DefinitionError() ? kExitFailure
                 : verdict.pass              ? kExitOk
                                             : kExitLimitFailed;

    station::TRunFacts facts;
    facts.serial = o.serial;
    facts.operatorName = o.operatorName;
    facts.station = o.station;
    facts.startedUtc = startedUtc;
    facts.endedUtc = endedUtc;
    facts.programVersion = MIRANTOS_VERSION;
    facts.partNumber = o.partNumber;
    facts.lot = o.lot;
    facts.dutHardwareId = o.dutId;
    facts.boardKind = simulated ? "sim" : "usb";
    facts.boardIdentity = simulated ? std::string() : report.boardIdentity;
    if (o.junit && !WriteOutput(io, *o.junit, station::JUnitXml(verdict, limits, facts, seconds)))
        result = interrupted ? result : kExitFailure;
    if (o.keepDir && measured) {
        std::string error;
        facts.dataPath = dataPath;
        facts.dataSha256 = station::Sha256OfFile(dataPath, error);
        if (facts.dataSha256.empty())
            io.err << "mirantos-cli: warning: " << error << '\n' << std::flush;
    }
    const results::TRunRecord record = station::MakeRunRecord(limits, verdict, facts);
    const std::string spool = results::DefaultSqlitePath();
    const results::TStoreOutcome stored = results::StoreRun(record, o.db, spool);
    switch (stored.kind) {
    case results::TStoreOutcome::Kind::Stored:
        if (stored.forwarded > 0)
            io.err << "mirantos-cli: " << stored.forwarded << " earlier result"
                   << (stored.forwarded == 1 ? "" : "s") << " sent from " << spool << " to "
                   << o.db.Display() << '\n';
        io.err << "result " << record.uuid << " stored in " << o.db.Display() << '\n' << std::flush;
        ReportSpool(io, stored, spool);
        break;
    case results::TStoreOutcome::Kind::Spooled:
        io.err << "mirantos-cli: warning: " << o.db.Display() << ": " << stored.message
               << "\nmirantos-cli: result " << record.uuid << " kept in " << spool
               << "; it is sent with the next run or with `mirantos-cli results --sync`\n"
               << std::flush;
        ReportSpool(io, stored, spool);
        break;
    case results::TStoreOutcome::Kind::Failed: {
        Fail(io, "the result was not stored: " + stored.message, kExitFailure);
        if (o.keepDir && measured) {
            io.err << "mirantos-cli: the raw data is kept in " << dataPath << '\n' << std::flush;
        } else if (measured) {
            station::TUnsavedRun unsaved{facts,          record.uuid,      o.limitsPath,
                                         limits.content, verdict.runError, verdict.stopped};
            const station::TKeptData kept = station::KeepUnsavedRun(dataPath, unsaved);
            std::string where = kept.path;
            if (where.empty()) {
                // No verified copy: the run's own file stays, named, until one is made.
                Fail(io, kept.error, kExitFailure);
                scratch->setAutoRemove(false);
                where = station::HoldUnsavedRun(dataPath, unsaved);
            }
            io.err << "mirantos-cli: the raw data is kept in " << where
                   << "\nmirantos-cli: `mirantos-cli results --import-unsaved` stores it once "
                      "the database can take it\n"
                   << std::flush;
        }
        // A stopped command exits as one, stored or not.
        if (!interrupted)
            result = kExitFailure;
        break;
    }
    }
    return result;
}

} // namespace mirantos::cli
