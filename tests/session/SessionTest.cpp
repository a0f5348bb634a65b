// The measurement session as its users drive it: runs by call, the load and
// save sequences, and the readout computed without a picture.

#include "ControllerRig.h"
#include "MeasureSession.h"
#include "SimBoard.h"
#include "Texts.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace mirantos;
using namespace mirantos::testing;

namespace {

// A rig on the simulated board, its clock moved by hand.
struct SimRig {
    explicit SimRig(uint64_t seed = 7)
    {
        clock->SetAutoStepUs(500);
        SimConfig config;
        config.seed = seed;
        config.latencyUs = 500;
        config.clock = clock;
        rig = std::make_unique<ControllerRig>(std::make_unique<SimBoardDriver>(config));
    }
    // Runs the polls of `us` microseconds of board time.
    void Advance(int64_t us)
    {
        for (int64_t t = 0; t < us && rig->Measuring(); t += 1000) {
            clock->AdvanceUs(1000);
            rig->controller->Poll();
        }
    }
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<ControllerRig> rig;
};

// A session with surfaces but no board and no paint box: numbers only.
struct NumbersOnly {
    NumbersOnly()
    {
        TSessionParts parts;
        parts.Host = &host;
        parts.Presenter = &presenter;
        parts.Panels = &panels;
        session = std::make_unique<TMeasureSession>(std::move(parts));
        EXPECT_TRUE(session->Create());
    }
    FakeHost host;
    RecordingPanels panels;
    RecordingPresenter presenter;
    std::unique_ptr<TMeasureSession> session;
};

} // namespace

TEST(MeasureSession, StartAndStopByCallKeepTheSamplesAndIgnoreRepeats)
{
    SimRig s;
    ControllerRig& r = *s.rig;
    r.host.rate = 10; // 1 ksps
    r.host.count = 6; // 10000
    r.host.channel = 2;
    r.session->Start();
    ASSERT_TRUE(r.Measuring());
    r.session->Start(); // a second start during the run changes nothing
    EXPECT_EQ(r.runs.started, 1);
    s.Advance(200000);
    ASSERT_TRUE(r.Measuring());
    const int received = r.controller->Received();
    ASSERT_GE(received, 10);
    r.session->Stop();
    EXPECT_FALSE(r.Measuring());
    EXPECT_EQ(r.session->Count(0), received);
    EXPECT_EQ(r.session->Count(1), received);
    r.session->Stop(); // nothing to stop
    EXPECT_EQ(r.runs.ends.size(), 1u);
    EXPECT_EQ(r.host.caption, U(text::StartCaption));
}

TEST(MeasureSession, SavedSetLoadsIntoANumbersOnlySessionWithTheSameReadout)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("two.DTA")).toStdString();
    SimRig s;
    ControllerRig& r = *s.rig;
    r.host.rate = 13; // 10 ksps
    r.host.count = 0; // 100
    r.host.channel = 2;
    r.session->Start();
    s.Advance(100000);
    ASSERT_FALSE(r.Measuring());
    ASSERT_EQ(r.session->Save(path), TSaveOutcome::Written);
    EXPECT_EQ(r.host.windowFile, QString::fromStdString(path));
    // An existing file is replaced only when the question says yes.
    EXPECT_EQ(r.session->Save(path), TSaveOutcome::Declined);

    NumbersOnly n;
    ASSERT_TRUE(n.session->Load(path));
    EXPECT_EQ(n.session->Graph(), nullptr);
    EXPECT_EQ(n.session->Settings().Gain, kBoardGain);
    EXPECT_EQ(n.session->Count(0), 100);
    EXPECT_EQ(n.session->Count(1), 100);
    // The loaded readout, computed from the record alone, is the graph-scaled
    // run's readout in both units, and what the detail panel shows.
    for (bool volt : {false, true}) {
        for (int ch : {0, 1})
            EXPECT_EQ(n.session->ReadoutText(ch, volt), r.session->ReadoutText(ch, volt));
    }
    EXPECT_EQ(n.panels.panel[2], n.session->ReadoutText(0, false));
    EXPECT_EQ(r.graph->Ch1MaxCode(), ChannelReadout(n.session->Record(), 1).MaxCode);
    EXPECT_EQ(r.graph->Ch1MinCode(), ChannelReadout(n.session->Record(), 1).MinCode);

    // The status bar's click switches a two-channel readout back and forth.
    EXPECT_EQ(n.session->ShownChannel(), 0);
    n.session->SwitchChannel();
    EXPECT_EQ(n.session->ShownChannel(), 1);
    EXPECT_EQ(n.panels.panel[2], n.session->ReadoutText(1, false));
    n.host.volt = true;
    n.session->UnitChanged();
    EXPECT_EQ(n.panels.panel[2], n.session->ReadoutText(1, true));
    n.session->SwitchChannel();
    EXPECT_EQ(n.session->ShownChannel(), 0);
}

TEST(MeasureSession, ARejectedLoadKeepsTheHeldSetAndShowsTheContentErrorOnce)
{
    QTemporaryDir dir;
    const QString good = dir.filePath(QStringLiteral("one.DTA"));
    const QString bad = dir.filePath(QStringLiteral("bad.DTA"));
    {
        SimRig s;
        s.rig->host.rate = 13;
        s.rig->host.count = 0;
        s.rig->host.channel = 1;
        s.rig->session->Start();
        s.Advance(100000);
        ASSERT_EQ(s.rig->session->Save(good.toStdString()), TSaveOutcome::Written);
    }
    QFile f(bad);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("AD7177_DataFile:\r\nM:\r\n");
    f.close();

    NumbersOnly n;
    ASSERT_TRUE(n.session->Load(good.toStdString()));
    // A one-channel CH1 set: the readout shows CH1 and the click keeps it.
    EXPECT_EQ(n.session->ShownChannel(), 1);
    n.session->SwitchChannel();
    EXPECT_EQ(n.session->ShownChannel(), 1);
    const QString readout = n.panels.panel[2];
    EXPECT_FALSE(n.session->Load(bad.toStdString()));
    EXPECT_EQ(n.presenter.shown, QStringList{U(text::BoxDataFileError)});
    EXPECT_EQ(n.session->Count(1), 100);
    EXPECT_EQ(n.panels.panel[2], readout);
    EXPECT_EQ(n.host.windowFile, good);
    EXPECT_TRUE(n.host.controlsEnabled);
}
