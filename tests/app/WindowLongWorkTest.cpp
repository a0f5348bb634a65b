// Long work in the window on the simulated board: a long capture or a noise
// test shows its progress above the status bar and is given up at the close
// box only when the user says so; a plain run shows no bar and closes as ever.

#include "AppTestSupport.h"
#include "CaptureFile.h"
#include "CaptureRequest.h"
#include "Texts.h"

#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

using namespace mirantos;

namespace {

enum class Work { Plain, Capture, Station };

struct CloseCase {
    const char* name;
    Work work;
    bool yes;        // the answer to the close box's question
    bool asked;      // the question comes
    bool closed;     // the window is gone
    const char* end; // the capture file's end line ("" none)
};

void PrintTo(const CloseCase& c, std::ostream* os)
{
    *os << c.name;
}

class CloseDuringWork : public ::testing::TestWithParam<CloseCase> {};

TEST_P(CloseDuringWork, AsksOnlyForLongWorkAndEndsItCleanlyOnYes)
{
    const CloseCase c = GetParam();
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    const QString capture = dir.filePath(QStringLiteral("long.csv"));
    const QString db = dir.filePath(QStringLiteral("bench.sqlite"));
    const QString limits = dir.filePath(QStringLiteral("limits.json"));
    QFile file(limits);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"name": "AFE-7", "version": 1, "settings": {"board": "sim", "rate": "1000",
        "filter": "sinc5", "channels": "ch0", "samples": 10000},
        "limits": {"ch0": {"rms_uV": {"max": 1000}}}})");
    file.close();

    WindowHarness h;
    h.dialogs.captureAnswer = [&](TCaptureRequest* r) {
        *r = {capture, 13, true, 2, false, r->seconds, 40000};
        return true;
    };
    h.dialogs.stationAnswer = [&](TStationRequest* r) {
        *r = {limits, QStringLiteral("SN 7"), QStringLiteral("aki"), db, QString()};
        return true;
    };
    h.dialogs.stopAnswers = {c.yes};
    h.Select(13, 6, 0);
    if (c.work == Work::Plain)
        h.window->MeasureBtnClick();
    else if (c.work == Work::Capture)
        h.window->Capture1Click();
    else
        h.window->Station1Click();
    ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 3000; }));
    EXPECT_EQ(h.window->ProgressBar1->isVisible(), c.work != Work::Plain);

    EXPECT_EQ(h.window->close(), c.closed);
    h.Settle();
    EXPECT_EQ(h.window->isVisible(), !c.closed);
    EXPECT_EQ(h.dialogs.stopQuestions, c.asked ? std::vector<QString>{U(text::CloseWhileRecording)}
                                               : std::vector<QString>{});
    if (!c.closed) {
        // Kept running: it goes on to its end.
        ASSERT_TRUE(h.window->Controller()->Measuring());
        ASSERT_TRUE(h.RunToEnd());
        h.Settle();
    } else if (c.work != Work::Plain) {
        EXPECT_FALSE(h.window->Controller()->Measuring());
    }
    if (c.work == Work::Capture) {
        TCaptureData data;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(ReadCapture(QFile::encodeName(capture).toStdString(), data, warnings, error))
            << error;
        EXPECT_EQ(data.end, std::string(c.end) + ", samples=" + std::to_string(data.ch0.size()));
        EXPECT_TRUE(warnings.empty());
    }
    if (c.work == Work::Station) {
        // A test stopped at the close is neither judged nor stored.
        EXPECT_EQ(h.window->StationWindow() != nullptr, !c.closed);
        if (c.closed) {
            EXPECT_FALSE(QFile::exists(db));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CloseDuringWork,
    ::testing::Values(CloseCase{"PlainRun", Work::Plain, false, false, true, ""},
                      CloseCase{"CaptureNo", Work::Capture, false, true, false, "complete"},
                      CloseCase{"CaptureYes", Work::Capture, true, true, true, "stopped"},
                      CloseCase{"StationNo", Work::Station, false, true, false, ""},
                      CloseCase{"StationYes", Work::Station, true, true, true, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// "50%  20000 / 40000 件  残り 0:02" while the capture runs at 10 ksps; no bar
// before, after, or during a plain run.
TEST(ProgressBar, ShowsSamplesPercentAndTimeLeftOfACaptureOnly)
{
    QTemporaryDir dir;
    WindowHarness h;
    QProgressBar* bar = h.window->ProgressBar1;
    h.Select(13, 6, 0);
    h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 3000; }));
    EXPECT_FALSE(bar->isVisible());
    ASSERT_TRUE(h.RunToEnd());

    const QString panel = h.Panel(0);
    h.dialogs.captureAnswer = [&](TCaptureRequest* r) {
        *r = {dir.filePath(QStringLiteral("c.csv")), 13, true, 2, false, r->seconds, 40000};
        return true;
    };
    h.window->Capture1Click();
    for (const int at : {20000, 30000}) {
        ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= at; }));
        const int n = h.window->Controller()->Received();
        ASSERT_TRUE(bar->isVisible());
        const int left = static_cast<int>(std::ceil((40000 - n) / 10000.0));
        EXPECT_EQ(
            bar->text(),
            QStringLiteral("%1%  %2 / 40000 件  残り 0:0%3").arg(n * 100 / 40000).arg(n).arg(left));
        EXPECT_EQ(bar->value(), n);
    }
    EXPECT_EQ(h.Panel(0), panel); // the board panel as it was
    ASSERT_TRUE(h.RunToEnd());
    h.Settle();
    EXPECT_FALSE(bar->isVisible());
}

} // namespace
