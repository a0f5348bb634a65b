// The capture run on its own: every block its observer is shown is the
// file's, and a capture that never got a sample leaves no new file and an
// old one as it was.

#include "CaptureRun.h"
#include "ControllerRig.h"
#include "SimBoard.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace mirantos;
using namespace mirantos::testing;

namespace {

QByteArray Content(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

struct RunCase {
    const char* name;
    bool absent;     // no board answers: the start fails
    bool stopAtOnce; // the stop before the first poll
    bool oldFile;    // a file is there and is replaced
    int32_t channel; // 0, 1 or 2
    bool kept;       // the capture is in the file
};

class CaptureRunEnds : public ::testing::TestWithParam<RunCase> {};

TEST_P(CaptureRunEnds, TheFileHoldsWhatTheObserverSawOrIsLeftAlone)
{
    const RunCase c = GetParam();
    auto clock = std::make_shared<ManualClock>();
    clock->SetAutoStepUs(500);
    SimConfig config;
    config.seed = 5;
    config.clock = clock;
    config.faults.absent = c.absent;
    ControllerRig rig(std::make_unique<SimBoardDriver>(config));
    rig.host.rate = 13;
    rig.host.channel = c.channel;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run.csv"));
    if (c.oldFile) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    TCaptureRun run;
    std::vector<uint32_t> seen0;
    std::vector<uint32_t> seen1;
    run.SetBlockObserver([&](const uint32_t* ch0, const uint32_t* ch1, int32_t n) {
        EXPECT_EQ(ch0 != nullptr, c.channel != 1);
        EXPECT_EQ(ch1 != nullptr, c.channel != 0);
        if (ch0)
            seen0.insert(seen0.end(), ch0, ch0 + n);
        if (ch1)
            seen1.insert(seen1.end(), ch1, ch1 + n);
    });
    int ended = 0;
    QObject::connect(&run, &TCaptureRun::Ended, [&] { ++ended; });
    ASSERT_TRUE(run.Open(path.toStdString(), c.oldFile));
    TCaptureSettings settings;
    settings.rateIndex = 13;
    settings.chSel = c.channel;
    settings.count = 5000;
    const bool started = run.Start(*rig.session, settings);
    EXPECT_EQ(started, !c.absent);
    if (c.stopAtOnce)
        run.RequestStop();
    for (int i = 0; i < 100000 && rig.Measuring(); ++i) {
        clock->AdvanceUs(1000);
        rig.controller->Poll();
    }
    ASSERT_FALSE(rig.Measuring());
    EXPECT_EQ(ended, started ? 1 : 0);
    EXPECT_EQ(run.Result().kept, c.kept);

    if (!c.kept) {
        EXPECT_EQ(Content(path), c.oldFile ? QByteArray("precious") : QByteArray("<none>"));
        return;
    }
    TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadCapture(path.toStdString(), data, warnings, error)) << error;
    EXPECT_EQ(data.end, "complete, samples=5000");
    EXPECT_EQ(run.Result().samples, 5000);
    EXPECT_TRUE(run.Result().written);
    EXPECT_EQ(data.info.chSel, c.channel);
    EXPECT_EQ(data.info.rateSps, 10000.0);
    EXPECT_TRUE(data.ch0 == seen0);
    EXPECT_TRUE(data.ch1 == seen1);
    EXPECT_EQ(std::max(seen0.size(), seen1.size()), 5000u);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CaptureRunEnds,
    ::testing::Values(RunCase{"Both", false, false, false, 2, true},
                      RunCase{"Ch1ReplacingAFile", false, false, true, 1, true},
                      RunCase{"StoppedAtOnce", false, true, false, 0, false},
                      RunCase{"StoppedAtOnceKeepsTheOld", false, true, true, 0, false},
                      RunCase{"NoBoard", true, false, true, 2, false},
                      RunCase{"NoBoardNoFile", true, false, false, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
