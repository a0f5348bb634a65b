// Long work in the window on the simulated board: a long capture shows its
// progress above the status bar and is given up at the close box only when the
// user says so; a plain run shows no bar and closes as ever.

#include "AppTestSupport.h"
#include "CaptureFile.h"
#include "Texts.h"

#include <QFile>
#include <QProgressBar>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace mirantos;

namespace {

struct CloseCase {
    const char* name;
    bool capture;    // else a plain run
    bool yes;        // the answer to the close box's question
    const char* end; // the capture file's end line
};

void PrintTo(const CloseCase& c, std::ostream* os)
{
    *os << c.name;
}

class CloseDuringWork : public ::testing::TestWithParam<CloseCase> {};

TEST_P(CloseDuringWork, ShowsProgressAsksFirstAndEndsTheWorkCleanlyOnYes)
{
    const CloseCase c = GetParam();
    QTemporaryDir dir;
    const QString capture = dir.filePath(QStringLiteral("long.csv"));
    WindowHarness h;
    h.dialogs.captureAnswer = [&](TCaptureRequest* r) {
        *r = {capture, 13, true, 2, false, r->seconds, 40000};
        return true;
    };
    h.dialogs.stopAnswers = {c.yes};
    h.Select(13, 6, 0);
    if (c.capture)
        h.window->Capture1Click();
    else
        h.window->MeasureBtnClick();
    ASSERT_TRUE(h.RunUntil([&] { return h.window->Controller()->Received() >= 3000; }));
    QProgressBar* bar = h.window->ProgressBar1;
    EXPECT_EQ(bar->isVisible(), c.capture);
    const int n = h.window->Controller()->Received();
    if (c.capture) { // 10 ksps
        EXPECT_EQ(bar->text(), QStringLiteral("%1%  %2 / 40000 件  残り 0:0%3")
                                   .arg(n / 400)
                                   .arg(n)
                                   .arg((40000 - n + 9999) / 10000));
    }

    const bool closed = c.yes || !c.capture;
    EXPECT_EQ(h.window->close(), closed);
    h.Settle();
    EXPECT_EQ(h.window->isVisible(), !closed);
    EXPECT_EQ(h.dialogs.stopQuestions.size(), c.capture ? 1u : 0u);
    if (c.capture) {
        EXPECT_EQ(h.dialogs.stopQuestions[0], U(text::CloseWhileRecording));
        // Kept running, it goes on to its end; stopped, it is over.
        EXPECT_EQ(h.window->Controller()->Measuring(), !closed);
        ASSERT_TRUE(h.RunToEnd());
        h.Settle();
        EXPECT_FALSE(bar->isVisible());
        TCaptureData data;
        std::vector<std::string> warnings;
        std::string error;
        ASSERT_TRUE(ReadCapture(QFile::encodeName(capture).toStdString(), data, warnings, error))
            << error;
        EXPECT_EQ(data.end, std::string(c.end) + ", samples=" + std::to_string(data.ch0.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CloseDuringWork,
                         ::testing::Values(CloseCase{"PlainRun", false, false, ""},
                                           CloseCase{"CaptureNo", true, false, "complete"},
                                           CloseCase{"CaptureYes", true, true, "stopped"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
