// The window's noise test on the simulated board: the limits file's settings
// go into the controls, the window's run (or a long capture for a count beyond
// the list) is judged, the result window shows each limit and the verdict, and
// the run lands once in an SQLite results file. A refused limits file runs
// nothing; a stopped run judges and stores nothing.

#include "AppTestSupport.h"
#include "BoardFactory.h"
#include "PgCluster.h"
#include "ResultsDb.h"
#include "StationDialog.h"
#include "StationResultWindow.h"
#include "StationTable.h"
#include "StationTexts.h"
#include "Tables.h"
#include "Texts.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>

using namespace mirantos;

namespace {

struct Row {
    const char *channel, *figure, *limit, *verdict;
};

// By default one passing limit on CH0 of a 1000-sample run, stored in an SQLite file.
struct StationCase {
    const char* name;
    std::vector<Row> rows = {{"CH0", "RMSノイズ [µV]", "1000 以下", "合格"}}; // empty: no verdict
    const char* limits = R"({"ch0": {"rms_uV": {"max": 1000}}})";             // the file's "limits"
    const char* channels = "ch0";
    int samples = 1000;
    bool keep = false;         // a folder keeps the raw data
    int stopAt = -1;           // the stop button after this many samples; -1: none
    const char* refusal = {};  // in the box for a refused file
    const char* board = "sim"; // the limits file's board (the window's is the simulated one)
    // The database (%1: the test's folder) and what the result window says of the store.
    const char* db = "%1/bench.sqlite";
    const char* storage = mirantos::text::StationStored;
    QString serial = QStringLiteral("SN 42");
    const char* box = mirantos::text::BoxStationLimits; // the refusal box's first line
    bool fullDisk = false;    // the data folder (database, unsaved) on a full small disk
    const char* verdict = {}; // the verdict shown, when not 合格/不合格 by the rows
    int unplugAt = -1;        // the board goes away after this many samples
    bool server = false;      // a PostgreSQL server that refuses the run
    const char* stored = {};  // the refused store's box says so
    bool close = false;       // stopped by closing the window, not by the stop button
};

// The dialog's OK reads the limits file on a thread of its own: the events
// until its answer is in (and the run started, or the box shown).
void WaitForStart(TFormMain& w)
{
    QElapsedTimer wall;
    wall.start();
    while (w.StationStarting() && wall.elapsed() < 20000) {
        QThread::msleep(1);
        QCoreApplication::processEvents();
    }
}

void PrintTo(const StationCase& c, std::ostream* os)
{
    *os << c.name;
}

class WindowStation : public ::testing::TestWithParam<StationCase> {};

TEST_P(WindowStation, JudgesTheWindowsRunShowsTheVerdictAndStoresItOnce)
{
    const StationCase c = GetParam();
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    const QString limitsPath = dir.filePath(QStringLiteral("limits.json"));
    QFile file(limitsPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral(R"({"name": "AFE-7", "version": 3, "settings": {"board": "%4",
        "rate": "1000", "filter": "sinc5", "channels": "%1", "samples": %2}, "limits": %3})")
                   .replace(QStringLiteral("%4"), QLatin1String(c.board))
                   .arg(QLatin1String(c.channels))
                   .arg(c.samples)
                   .arg(QLatin1String(c.limits))
                   .toUtf8());
    file.close();
    QString db = QString::fromUtf8(c.db).replace(QStringLiteral("%1"), dir.path());
    const QString keep = dir.filePath(QStringLiteral("kept"));
    ASSERT_TRUE(QDir().mkpath(keep));

    // A full disk under the database and the unsaved folder; the temporary folder has room.
    const QString data = dir.filePath(QStringLiteral("data"));
    const std::string filler = (data + QStringLiteral("/filler")).toStdString();
    if (c.fullDisk) {
        ASSERT_TRUE(QDir().mkpath(data) && QDir().mkpath(dir.filePath(QStringLiteral("tmp"))));
        if (::mount("tmpfs", data.toUtf8().constData(), "tmpfs", 0, "size=1m") != 0)
            GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root)";
        qputenv("TMPDIR", dir.filePath(QStringLiteral("tmp")).toUtf8());
        std::ofstream out(filler, std::ios::binary);
        const std::string block(4096, 'f');
        while (out.write(block.data(), block.size()))
            out.flush();
    }
    const auto unmount = qScopeGuard([&] {
        if (c.fullDisk) {
            qunsetenv("TMPDIR");
            ::umount2(data.toUtf8().constData(), MNT_DETACH);
        }
    });

    // A server that refuses the run for good: no such role (SQLSTATE 28000).
    std::unique_ptr<mirantos::testing::TPgCluster> pg;
    if (c.server) {
        std::string error;
        pg = mirantos::testing::TPgCluster::Start(error);
        ASSERT_TRUE(pg && pg->CreateDatabase("bench", error)) << error;
        db = QString::fromStdString(pg->Url("bench")).replace("mirantos@", "nobody@");
    }

    WindowHarness h([&c](SimConfig& config) {
        if (c.unplugAt >= 0)
            config.faults.unplugAtSample = c.unplugAt;
    });
    TStationRequest typed{limitsPath, c.serial, QStringLiteral("aki"), db,
                          c.keep ? keep : QString()};
    typed.lot = QStringLiteral("L-12");
    typed.dutId = QStringLiteral("DUT 9");
    int asked = 0;
    h.dialogs.stationAnswer = [&](TStationRequest* r) {
        // A refused file brings the dialog back with what was typed; then cancelled.
        if (++asked > 1) {
            EXPECT_EQ(QStringList({r->limitsPath, r->serial, r->operatorName, r->dbUrl}),
                      QStringList({typed.limitsPath, typed.serial, typed.operatorName, db}));
            return false;
        }
        EXPECT_TRUE(r->dbUrl.endsWith(QStringLiteral("data/mirantos/results.sqlite")));
        *r = typed;
        return true;
    };
    h.window->Station1Click();
    WaitForStart(*h.window);
    EXPECT_EQ(asked, c.refusal ? 2 : 1);
    if (c.refusal) {
        EXPECT_FALSE(h.window->Controller()->Measuring());
        ASSERT_EQ(h.presenter.boxes.size(), 1u);
        EXPECT_TRUE(h.presenter.boxes[0].text.startsWith(U(c.box)) &&
                    h.presenter.boxes[0].text.contains(QString::fromUtf8(c.refusal)))
            << h.presenter.boxes[0].text.toStdString();
    } else {
        ASSERT_TRUE(h.window->Controller()->Measuring());
        EXPECT_EQ(h.window->ComboBox1->currentIndex(), 10);
        EXPECT_TRUE(h.window->Sinc5_RB->isChecked());
        if (c.stopAt >= 0) {
            ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= c.stopAt; }));
            h.dialogs.stopAnswers = {true}; // the close box's question
            if (c.close)
                EXPECT_TRUE(h.window->close());
            else
                h.window->MeasureBtnClick();
        }
        ASSERT_TRUE(h.RunToEnd());
        h.Settle();
        QElapsedTimer wall;
        wall.start();
        while (h.window->StationStoring() && wall.elapsed() < 20000) {
            QThread::msleep(5);
            h.Settle();
        }
        // A result the database refused: a box says why and where the raw data is.
        ASSERT_EQ(h.presenter.boxes.size(), c.storage == text::StationStoreFailed ? 1u : 0u);
        if (!h.presenter.boxes.empty()) {
            EXPECT_TRUE(h.presenter.boxes[0].text.startsWith(U(text::BoxStationStore)) &&
                        h.presenter.boxes[0].text.contains(QString::fromUtf8(c.stored)) &&
                        h.presenter.boxes[0].text.contains(
                            U(c.fullDisk ? text::StationUnsavedHeld : text::StationUnsavedKept)))
                << h.presenter.boxes[0].text.toStdString();
        }
    }
    std::remove(filler.c_str()); // room again, to read what was stored

    // The run lands in the SQLite file, or in the spool when the server is away.
    const bool stored = c.storage == text::StationStored;
    std::string error;
    const auto target = results::ParseDbUrl(stored ? db.toStdString() : "", error);
    ASSERT_TRUE(target) << error;
    const auto opened = results::TResultsDb::Open(*target, error);
    ASSERT_TRUE(opened) << error;
    std::vector<results::TRunSummary> runs;
    ASSERT_TRUE(opened->Runs({}, runs, error)) << error;
    TStationResultWindow* w = h.window->StationWindow();
    if (c.rows.empty()) { // refused or stopped: no verdict, nothing stored or kept
        EXPECT_TRUE(runs.empty());
        EXPECT_EQ(w, nullptr);
        EXPECT_TRUE(QDir(keep).isEmpty());
        return;
    }
    ASSERT_NE(w, nullptr);
    const auto failed = std::count_if(c.rows.begin(), c.rows.end(), [](const Row& r) {
        return std::string(r.verdict) == "不合格";
    });
    EXPECT_TRUE(w->StorageLabel()->text().startsWith(U(c.storage)))
        << w->StorageLabel()->text().toStdString();
    EXPECT_EQ(w->VerdictLabel()->text(), U(c.verdict ? c.verdict
                                           : failed  ? text::StationFail
                                                     : text::StationPass));
    // Why a run did not complete, under the verdict.
    const char* reason = c.verdict == text::StationAborted ? text::StationAbortedNote
                         : c.unplugAt >= 0                 ? text::StationReadErrorNote
                                                           : "";
    EXPECT_EQ(w->ReasonLabel()->isVisible() ? w->ReasonLabel()->text().left(12) : QString(),
              U(reason).left(12));
    // Whose board, which test, who tested it and when.
    EXPECT_EQ(w->TestLabel()->text(), QStringLiteral("試験：AFE-7 (3) / シリアル番号：SN 42"));
    EXPECT_EQ(w->ProductLabel()->text(), QStringLiteral("ロット：L-12 / DUT識別子：DUT 9"));
    EXPECT_TRUE(w->RunLabel()->text().contains(QRegularExpression(
        QStringLiteral("^日時：\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d / 担当者：aki$"))))
        << w->RunLabel()->text().toStdString();
    // The window's board is the simulated one, and its result says so.
    EXPECT_FALSE(w->BoardLabel()->isHidden());
    EXPECT_EQ(w->BoardLabel()->text(), U(text::StationSimulatedResult));
    QTableWidget* t = w->Table();
    ASSERT_EQ(t->rowCount(), static_cast<int>(c.rows.size()));
    for (int i = 0; i < t->rowCount(); ++i) {
        const Row& r = c.rows[static_cast<size_t>(i)];
        auto cell = [&](int column) { return t->item(i, column)->text(); };
        EXPECT_EQ(QStringList({cell(0), cell(1), cell(3), cell(4)}),
                  QStringList({r.channel, r.figure, r.limit, r.verdict}));
        bool number = false;
        cell(2).toDouble(&number);
        EXPECT_TRUE(number && cell(5).endsWith(QStringLiteral(" %"))) << i;
    }
    // Raw data whose result the database refused outlives its temporary
    // folder, with the run's facts beside it.
    const QDir unsavedDir(dir.filePath(QStringLiteral("data/mirantos/unsaved")));
    const QStringList unsaved = unsavedDir.entryList(
        {QStringLiteral("SN_42_*.csv"), QStringLiteral("SN_42_*.DTA")}, QDir::Files);
    EXPECT_EQ(unsaved.size(), c.storage == text::StationStoreFailed && !c.fullDisk && !c.keep);
    QFile sidecar(unsavedDir.filePath(unsaved.value(0) + QStringLiteral(".run.json")));
    const QByteArray facts = sidecar.open(QIODevice::ReadOnly) ? sidecar.readAll() : "";
    for (const char* fact : {R"("lot": "L-12")", R"("dut_id": "DUT 9")", R"("board_kind": "sim")"})
        EXPECT_EQ(facts.contains(fact), unsaved.size() == 1) << fact << facts.toStdString();
    // No whole copy on the full disk: the capture itself stays, and the window says where.
    if (c.fullDisk) {
        const QString label = w->StorageLabel()->text();
        const qsizetype at = label.indexOf(U(text::StationUnsavedHeld));
        ASSERT_GE(at, 0) << label.toStdString();
        const QFileInfo held(label.mid(at + U(text::StationUnsavedHeld).size()));
        EXPECT_TRUE(held.filePath().startsWith(dir.filePath(QStringLiteral("tmp/"))) &&
                    held.size() > 10000)
            << held.filePath().toStdString();
    }
    ASSERT_EQ(runs.size(), c.storage == text::StationStoreFailed ? 0u : 1u);
    if (runs.empty())
        return;
    EXPECT_EQ(runs[0].serial, "SN 42");
    EXPECT_EQ(runs[0].failedLimits, failed);
    EXPECT_EQ(runs[0].pass, failed == 0 && !c.verdict);
    // The kept raw data is where the record says, under the serial's name.
    EXPECT_EQ(!runs[0].dataPath.empty(), c.keep);
    if (c.keep) {
        EXPECT_TRUE(QFile::exists(QString::fromStdString(runs[0].dataPath)) &&
                    runs[0].dataPath.find("/kept/SN_42_") != std::string::npos &&
                    runs[0].dataSha256.size() == 64)
            << runs[0].dataPath;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tests, WindowStation,
    ::testing::Values(
        StationCase{.name = "Pass",
                    .rows = {{"CH0", "RMSノイズ [µV]", "1000 以下", "合格"},
                             {"CH0", "ノイズフリー分解能 [bit]", "1 以上", "合格"},
                             {"CH1", "pp値 [µV]", "0.001 〜 5000", "合格"},
                             {"CH1", "帯域RMSノイズ (1 〜 100 Hz) [µV]", "1000 以下", "合格"}},
                    .limits = R"({"ch0": {"rms_uV": {"max": 1000}, "noise_free_bits": {"min": 1}},
                                  "ch1": {"pp_uV": {"min": 0.001, "max": 5000},
                                  "band_rms_uV": {"band_Hz": [1, 100], "max": 1000}}})",
                    .channels = "both"},
        StationCase{.name = "Fail",
                    .rows = {{"CH1", "RMSノイズ [µV]", "1000 以下", "合格"},
                             {"CH1", "RMSノイズ [digit]", "0.5 以下", "不合格"}},
                    .limits = R"({"ch1": {"rms_uV": {"max": 1000}, "rms_code": {"max": 0.5}}})",
                    .channels = "ch1",
                    .keep = true},
        // 12345 is not a count of the list: a long capture, read back.
        StationCase{.name = "Capture", .samples = 12345, .keep = true},
        // A server that cannot be reached: the result waits in the local spool.
        StationCase{.name = "Spooled",
                    .db = "postgresql://qa@127.0.0.1:1/noise",
                    .storage = text::StationSpooled},
        // The database and the unsaved folder on a full disk.
        StationCase{.name = "FullDisk",
                    .samples = 12345,
                    .db = "%1/data/bench.sqlite",
                    .storage = text::StationStoreFailed,
                    .fullDisk = true,
                    .stored = "bench.sqlite"},
        // A database file that cannot be made: the verdict still shows, the failure beside it.
        StationCase{.name = "StoreFails",
                    .samples = 12345,
                    .db = "%1/limits.json/bench.sqlite",
                    .storage = text::StationStoreFailed,
                    .stored = "limits.json"},
        StationCase{.name = "Refused",
                    .rows = {},
                    .limits = R"({"ch0": {"rms_uV": {"maxx": 1}}})",
                    .refusal = "limits.ch0.rms_uV"},
        // Stopped part way: stored as ABORTED with the figures of what was measured.
        StationCase{.name = "Stopped",
                    .samples = 2000,
                    .keep = true,
                    .stopAt = 300,
                    .verdict = text::StationAborted},
        StationCase{.name = "ClosedDuringTheRun",
                    .samples = 2000,
                    .keep = true,
                    .stopAt = 300,
                    .verdict = text::StationAborted,
                    .close = true},
        // The board went away part way: a FAIL that says why, with what came before.
        StationCase{.name = "ReadError",
                    .samples = 2000,
                    .keep = true,
                    .verdict = text::StationFail,
                    .unplugAt = 700},
        // A data set without a keep folder whose result cannot be stored keeps its raw data.
        StationCase{.name = "StoreFailsDataSet",
                    .db = "%1/limits.json/bench.sqlite",
                    .storage = text::StationStoreFailed,
                    .stored = "limits.json"},
        // A server that refuses the run for good: the box, the raw data kept, nothing spooled.
        StationCase{.name = "ServerRefuses",
                    .storage = text::StationStoreFailed,
                    .server = true,
                    .stored = "nobody"},
        // A production test never runs on the simulated board: its pass would
        // be stored for the serial as a real board's.
        StationCase{.name = "UsbLimitsOnTheSimulatedBoard",
                    .rows = {},
                    .keep = true,
                    .refusal = text::StationUsbOnSim,
                    .board = "usb"},
        // A serial no file name or record can hold is refused before the board.
        StationCase{.name = "SerialTooLong",
                    .rows = {},
                    .refusal = "シリアル番号 is 235 bytes long",
                    .serial = QString(235, QLatin1Char('S')),
                    .box = text::BoxStationEntry},
        // A band between two bins of 1000 samples' spectrum: no board could pass it.
        StationCase{.name = "BandNoBoardCanBeMeasuredIn",
                    .rows = {},
                    .limits = R"({"ch0": {"band_rms_uV": {"band_Hz": [1, 5], "max": 1}}})",
                    .refusal = "limits.ch0.band_rms_uV.band_Hz: 1 .. 5 Hz holds no frequency "
                               "bin"}),
    [](const auto& info) { return std::string(info.param.name); });

// The program on the real board: its caption is exactly the one a second
// copy has always seen, and a simulated board's rehearsal file is no test of
// it (refused before the board is touched).
TEST(WindowStationUsb, SimLimitsAreRefusedAndTheCaptionStaysPlain)
{
    QTemporaryDir dir;
    const QString limitsPath = dir.filePath(QStringLiteral("limits.json"));
    QFile file(limitsPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"name": "AFE-7", "version": 3, "settings": {"board": "sim", "rate": "1000",
        "filter": "sinc5", "channels": "ch0", "samples": 1000},
        "limits": {"ch0": {"rms_uV": {"max": 1000}}}})");
    file.close();
    RecordingPresenter presenter;
    ScriptedDialogs dialogs;
    int asked = 0;
    dialogs.stationAnswer = [&](TStationRequest* r) {
        *r = {limitsPath, QStringLiteral("SN 42"), QString(),
              dir.filePath(QStringLiteral("bench.sqlite")), QString()};
        return ++asked == 1; // back in the dialog after the box: cancelled
    };
    TFormMainDeps deps;
    deps.Presenter = &presenter;
    deps.Dialogs = &dialogs;
    deps.MakeDriver = [] { return MakeUsbDriver("NO-SUCH-SERIAL"); };
    TFormMain w(std::move(deps));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("MIRANTOS / v1.10"));
    w.Station1Click();
    WaitForStart(w);
    EXPECT_FALSE(w.Controller()->Measuring());
    ASSERT_EQ(presenter.boxes.size(), 1u);
    EXPECT_EQ(presenter.boxes[0].text,
              U(text::BoxStationLimits) + QStringLiteral("\n") + U(text::StationSimOnUsb));
    EXPECT_EQ(w.StationWindow(), nullptr);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("bench.sqlite"))));
}

void WaitForStore(WindowHarness& h)
{
    QElapsedTimer wall;
    wall.start();
    while (h.window->StationStoring() && wall.elapsed() < 20000) {
        QThread::msleep(5);
        h.Settle();
    }
}

QString PdfText(const QString& path)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A bench tests board after board: the result is saved as a certificate, and
// the moment the next board's test starts nothing of the last one's verdict
// is left to be read as the new board's; the serial field starts empty.
TEST(WindowStationNextBoard, CertificateThenTheLastVerdictGivesWay)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    const QString limitsPath = dir.filePath(QStringLiteral("limits.json"));
    QFile file(limitsPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"name": "AFE-7", "version": 3, "settings": {"board": "sim", "rate": "1000",
        "filter": "sinc5", "channels": "ch0", "samples": 1000},
        "limits": {"ch0": {"rms_uV": {"max": 1000}, "rms_code": {"max": 0.5}}}})");
    file.close();
    WindowHarness h;
    std::vector<QString> serialsShown;
    h.dialogs.stationAnswer = [&](TStationRequest* r) {
        serialsShown.push_back(r->serial);
        *r = {limitsPath, QStringLiteral("SN %1").arg(41 + serialsShown.size()),
              QStringLiteral("aki"), dir.filePath(QStringLiteral("bench.sqlite")), QString()};
        return true;
    };
    h.window->Station1Click();
    WaitForStart(*h.window);
    ASSERT_TRUE(h.RunToEnd());
    h.Settle();
    WaitForStore(h);
    TStationResultWindow* w = h.window->StationWindow();
    ASSERT_NE(w, nullptr);
    ASSERT_EQ(w->VerdictLabel()->text(), U(text::StationFail));

    // No suffix typed: ".pdf" is added; an existing file is replaced only on "はい".
    const QString pdf = dir.filePath(QStringLiteral("cert.pdf"));
    h.dialogs.saveNames = {dir.filePath(QStringLiteral("cert")), pdf};
    h.dialogs.overwriteAnswers = {false};
    w->CertificateButton()->click();
    w->CertificateButton()->click();
    EXPECT_EQ(h.dialogs.questions.size(), 1u);
    const QString text = PdfText(pdf);
    QStringList wanted = {U(text::StationCertificateTitle),
                          QStringLiteral("SN 42"),
                          QStringLiteral("aki"),
                          QStringLiteral("AFE-7 (3)"),
                          U(text::StationVerdictCaption) + U(text::StationFail),
                          w->RunLabel()->text().section(' ', 0, 1)};
    for (int row = 0; row < w->Table()->rowCount(); ++row)
        for (int column = 1; column < 5; ++column)
            wanted << w->Table()->item(row, column)->text();
    // One page: its foot reads "1 / 1" (pdftotext may drop the spaces).
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\b1 ?/ ?1\\b"))));
    for (const QString& t : wanted)
        EXPECT_TRUE(text.contains(t)) << t.toStdString() << " not in\n" << text.toStdString();

    // The next board: an empty serial field, and the last verdict gone at the start.
    h.window->Station1Click();
    WaitForStart(*h.window);
    ASSERT_TRUE(h.window->Controller()->Measuring());
    EXPECT_EQ(serialsShown, std::vector<QString>({QString(), QString()}));
    EXPECT_EQ(w->VerdictLabel()->text(), U(text::StationTesting));
    EXPECT_EQ(w->Table()->rowCount(), 0);
    EXPECT_TRUE(w->TestLabel()->text().endsWith(QStringLiteral("SN 43")));
    EXPECT_FALSE(w->CertificateButton()->isEnabled());
    EXPECT_TRUE(w->StorageLabel()->text().isEmpty());
    ASSERT_TRUE(h.RunToEnd());
    h.Settle();
    WaitForStore(h);
}

// A barcode scanner types the serial and Enter: the test starts once there is
// a limits file to start it with, and Enter never opens a browse dialog.
TEST(StationDialog, EnterInTheSerialFieldStarts)
{
    for (const bool limits : {true, false}) {
        ScriptedDialogs dialogs;
        TStationDialog dialog(nullptr, &dialogs,
                              {limits ? QStringLiteral("afe7.json") : QString(), {}, {}, {}, {}});
        dialog.show();
        QApplication::setActiveWindow(&dialog);
        // The last click was on a button, as before a scan.
        dialog.KeepBtn->setFocus();
        dialog.SerialEdit->setFocus();
        dialog.SerialEdit->setText(QStringLiteral("AFE7-0012"));
        bool browsed = false;
        // Tied to the dialog: never left queued for the next test's dialog.
        QTimer::singleShot(0, &dialog, [&] {
            if (QWidget* other = QApplication::activeModalWidget(); other && other != &dialog) {
                browsed = true;
                other->close();
            }
        });
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(dialog.SerialEdit, &enter);
        EXPECT_FALSE(browsed) << limits;
        EXPECT_EQ(dialog.result() == QDialog::Accepted && dialog.isHidden(), limits);
        EXPECT_EQ(dialog.Request().serial, QStringLiteral("AFE7-0012"));
    }
}

// Every figure a limits file takes has its Japanese name and unit in the
// result and the certificate, never only the file's key.
TEST(StationTable, EveryFigureHasItsJapaneseNameAndUnit)
{
    for (const station::TFigureInfo& f : station::Figures()) {
        const QString name = StationFigureName({std::string(f.name), {}, {}, {}, {}});
        EXPECT_TRUE(!name.contains(QString::fromUtf8(f.name.data(), f.name.size())) &&
                    name.endsWith(QStringLiteral(" [") + U(f.unit) + QStringLiteral("]")))
            << name.toStdString();
    }
}

// The dialog's OK hands the limits file (1 MiB at most, here nearly that) to
// a thread and returns to the event loop: nothing runs until the answer is
// in, a second click meanwhile asks nothing, and then the run starts.
TEST(WindowStationStart, TheLimitsFileIsReadOffTheGuiThread)
{
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    const QString limitsPath = dir.filePath(QStringLiteral("limits.json"));
    QFile file(limitsPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"name": "AFE-7", "version": 3, "settings": {"board": "sim", "rate": "1000",
        "filter": "sinc5", "channels": "ch0", "samples": 1000},
        "limits": {"ch0": {"rms_uV": {"max": 1000}}}})" +
               QByteArray(1000000, ' '));
    file.close();
    WindowHarness h;
    int asked = 0;
    h.dialogs.stationAnswer = [&](TStationRequest* r) {
        ++asked;
        *r = {limitsPath, QStringLiteral("SN 7"), QStringLiteral("aki"),
              dir.filePath(QStringLiteral("bench.sqlite")), QString()};
        return true;
    };
    h.window->Station1Click();
    EXPECT_TRUE(h.window->StationStarting());
    EXPECT_FALSE(h.window->Controller()->Measuring());
    h.window->Station1Click();
    WaitForStart(*h.window);
    EXPECT_EQ(asked, 1);
    ASSERT_TRUE(h.window->Controller()->Measuring());
    ASSERT_TRUE(h.RunToEnd());
    h.Settle();
    WaitForStore(h);
    ASSERT_NE(h.window->StationWindow(), nullptr);
    EXPECT_EQ(h.window->StationWindow()->VerdictLabel()->text(), U(text::StationPass));
}

} // namespace
