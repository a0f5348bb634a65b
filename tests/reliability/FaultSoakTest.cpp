// Fault soak: seeded random sequences of start, stop, polls, board faults,
// load, save, clear and display toggles against the simulated board on a
// manual clock, with the program's invariants checked after every step.

#include "ControllerRig.h"
#include "Myfile.h"
#include "RecordFile.h"
#include "SimBoard.h"
#include "Tables.h"
#include "Texts.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace mirantos::testing {
namespace {

namespace fs = std::filesystem;
using RunEnd = TMeasureController::RunEnd;

struct SoakCounts {
    int sequences = 0;
    int steps = 0;
    int runsStarted = 0;
    std::map<RunEnd, int> ends;
    int startsRefused = 0;
    std::map<std::string, int> faults;
    int saves = 0, savesDeclined = 0, savesFailed = 0;
    int loads = 0, loadsRefused = 0;
    int toggles = 0;
    int polls = 0;

    int Faults() const
    {
        int n = 0;
        for (const auto& [name, count] : faults)
            n += count;
        return n;
    }
};

// What a saved file must hold for as long as it exists.
struct Expected {
    TAdcSetting setting;
    std::vector<uint32_t> ch0, ch1;
};

class Soak {
public:
    Soak(uint64_t seed, const fs::path& dir, SoakCounts& counts)
        : rng_(seed), dir_(dir), counts_(counts)
    {
        clock_ = std::make_shared<ManualClock>();
        // Each look at the device moves time on a little, so that a command's
        // answer (sent after a short USB latency) is seen by the next look or so.
        clock_->SetAutoStepUs(500);
        SimConfig config;
        config.seed = seed;
        config.latencyUs = 500;
        config.clock = clock_;
        auto sim = std::make_unique<SimBoardDriver>(config);
        sim_ = sim.get();
        rig_ = std::make_unique<ControllerRig>(std::move(sim));
        rig_->answerOverwrite = [this] { return Chance(0.8); };
    }

    void Run(int steps)
    {
        for (int i = 0; i < steps && !::testing::Test::HasFatalFailure(); ++i) {
            Step();
            ++counts_.steps;
            CheckInvariants(i);
        }
        if (rig_->Measuring())
            rig_->Click();
        CheckInvariants(steps);
        CheckFiles();
    }

private:
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

    void Step()
    {
        const int what = Pick(0, 99);
        if (what < 14)
            Click();
        else if (what < 52)
            Polls();
        else if (what < 64)
            Fault();
        else if (what < 74)
            Repair();
        else if (!rig_->host.controlsEnabled)
            Polls(); // the menus are greyed out during a run
        else if (what < 82)
            Save();
        else if (what < 90)
            Load();
        else if (what < 96)
            ToggleUnit();
        else if (what < 98)
            ToggleStatisticsChannel();
        else
            ClearData();
    }

    void Click()
    {
        if (!rig_->Measuring()) {
            // Mostly fast, short runs so that many of them complete.
            rig_->host.rate = Chance(0.7) ? Pick(9, 13) : Pick(0, 13);
            rig_->host.count = Chance(0.8) ? Pick(0, 3) : Pick(0, 6);
            rig_->host.channel = Pick(0, 2);
            rig_->host.sinc3 = Chance(0.5);
            const int before = rig_->runs.started;
            rig_->Click();
            if (rig_->runs.started > before)
                ++counts_.runsStarted;
            else
                ++counts_.startsRefused;
        } else {
            rig_->Click();
        }
        Tally();
    }

    void Polls()
    {
        const int n = Pick(1, 60);
        for (int i = 0; i < n; ++i) {
            clock_->AdvanceUs(Pick(0, 20000));
            rig_->controller->Poll();
            ++counts_.polls;
            // A run in progress holds no data set.
            if (rig_->Measuring()) {
                ASSERT_EQ(rig_->record.Ch0.Count, 0);
                ASSERT_EQ(rig_->record.Ch1.Count, 0);
            }
        }
        Tally();
    }

    void Fault()
    {
        SimFaults& f = sim_->Config().faults;
        const int received = rig_->controller->Received();
        switch (Pick(0, 6)) {
        case 0:
            f.unplugAtSample = received + Pick(0, 300);
            ++counts_.faults["unplug"];
            break;
        case 1:
            f.mute = true;
            ++counts_.faults["silence"];
            break;
        case 2: {
            static const char* commands[] = {"?", "U?", "S3", "S5", "F9", "FD", "FA"};
            f.ngCommand = commands[Pick(0, 6)];
            ++counts_.faults["NG"];
            break;
        }
        case 3:
            f.refuseVersion = true;
            ++counts_.faults["NG"];
            break;
        case 4:
            f.missingCrAtSample = received + Pick(0, 200);
            ++counts_.faults["malformed record"];
            break;
        case 5:
            f.stallAfterSamples = Pick(0, 500);
            ++counts_.faults["stall"];
            break;
        default:
            f.failPurgeFrom = sim_->PurgeCount() + Pick(1, 3);
            ++counts_.faults["failing purge"];
            break;
        }
    }

    void Repair()
    {
        // Everything but an unplug can go away again.
        SimFaults& f = sim_->Config().faults;
        const int64_t unplug = f.unplugAtSample;
        f = SimFaults{};
        f.unplugAtSample = unplug;
    }

    std::string PoolName()
    {
        return (dir_ / ("run" + std::to_string(Pick(0, 3)) + ".DTA")).string();
    }

    void Save()
    {
        const TMeasureRecord& r = rig_->record;
        if (!r.HasData())
            return;
        const std::string name = PoolName();
        const bool diskFull = Chance(0.15);
        if (diskFull)
            ++counts_.faults["disk full"];
        rlimit old{};
        if (diskFull) {
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit small = old;
            small.rlim_cur = static_cast<rlim_t>(Pick(0, 3000));
            setrlimit(RLIMIT_FSIZE, &small);
        }
        const TSaveOutcome outcome = rig_->session->Save(name);
        if (diskFull)
            setrlimit(RLIMIT_FSIZE, &old);

        ++counts_.saves;
        if (outcome == TSaveOutcome::Failed) {
            ++counts_.savesFailed;
        } else if (outcome == TSaveOutcome::Declined) {
            ++counts_.savesDeclined;
        } else {
            Expected e;
            e.setting = r.Setting;
            e.ch0.assign(r.Ch0.Code, r.Ch0.Code + r.Ch0.Count);
            e.ch1.assign(r.Ch1.Code, r.Ch1.Code + r.Ch1.Count);
            expected_[name] = e;
        }
        CheckFiles();
    }

    // A file of the pool, or a damaged copy of one (cut short, or a byte changed).
    std::string FileToLoad()
    {
        if (expected_.empty() || Chance(0.35)) {
            const fs::path damaged = dir_ / "incoming" / "damaged.DTA";
            fs::create_directories(damaged.parent_path());
            std::string bytes = "AD7177_DataFile:\r\nM:\r\n";
            if (!expected_.empty()) {
                auto it = expected_.begin();
                std::advance(it, Pick(0, static_cast<int>(expected_.size()) - 1));
                std::ifstream in(it->first, std::ios::binary);
                bytes.assign(std::istreambuf_iterator<char>(in), {});
            }
            if (!bytes.empty()) {
                if (Chance(0.5))
                    bytes.resize(static_cast<size_t>(Pick(0, static_cast<int>(bytes.size()))));
                else
                    bytes[static_cast<size_t>(Pick(0, static_cast<int>(bytes.size()) - 1))] =
                        static_cast<char>(Pick(0, 255));
            }
            std::ofstream(damaged, std::ios::binary | std::ios::trunc) << bytes;
            ++counts_.faults["damaged file"];
            return damaged.string();
        }
        auto it = expected_.begin();
        std::advance(it, Pick(0, static_cast<int>(expected_.size()) - 1));
        return it->first;
    }

    // The load command: scratch buffers first, the data set only on success.
    void Load()
    {
        const std::string name = FileToLoad();
        const TMeasureRecord& r = rig_->record;
        ++counts_.loads;
        if (!rig_->session->Load(name)) {
            ++counts_.loadsRefused;
            return;
        }

        const auto e = expected_.find(name);
        if (e != expected_.end()) {
            EXPECT_EQ(r.Setting.CHSel, e->second.setting.CHSel) << name;
            EXPECT_EQ(std::vector<uint32_t>(r.Ch0.Code, r.Ch0.Code + r.Ch0.Count), e->second.ch0);
            EXPECT_EQ(std::vector<uint32_t>(r.Ch1.Code, r.Ch1.Code + r.Ch1.Count), e->second.ch1);
        }
    }

    void ToggleUnit()
    {
        ++counts_.toggles;
        rig_->host.volt = !rig_->host.volt;
        rig_->session->UnitChanged();
    }

    void ToggleStatisticsChannel()
    {
        const TMeasureRecord& r = rig_->record;
        if (!(r.fCh0Valid && r.fCh1Valid))
            return;
        ++counts_.toggles;
        rig_->session->SwitchChannel();
    }

    void ClearData() { rig_->session->Clear(); }

    void Tally()
    {
        for (size_t i = seenEnds_; i < rig_->runs.ends.size(); ++i)
            ++counts_.ends[rig_->runs.ends[i]];
        seenEnds_ = rig_->runs.ends.size();
    }

    void CheckInvariants(int step)
    {
        SCOPED_TRACE("step " + std::to_string(step));
        const TMeasureRecord& r = rig_->record;
        const FakeHost& h = rig_->host;
        ASSERT_GE(r.Ch0.Count, 0);
        ASSERT_GE(r.Ch1.Count, 0);
        ASSERT_LE(r.Ch0.Count, CHANNEL_CAPACITY);
        ASSERT_LE(r.Ch1.Count, CHANNEL_CAPACITY);
        if (rig_->Measuring()) {
            ASSERT_EQ(r.Ch0.Count, 0);
            ASSERT_EQ(r.Ch1.Count, 0);
            ASSERT_EQ(r.fCh0Valid + r.fCh1Valid, 0);
            ASSERT_FALSE(h.controlsEnabled);
            ASSERT_TRUE(h.measureEnabled);
            ASSERT_EQ(h.caption, QString::fromUtf8(kStopCaption));
            return;
        }
        ASSERT_TRUE(h.controlsEnabled);
        ASSERT_TRUE(h.measureEnabled);
        ASSERT_EQ(h.caption, QString::fromUtf8(kStartCaption));
        if (!r.HasData()) {
            ASSERT_EQ(r.Ch0.Count, 0);
            ASSERT_EQ(r.Ch1.Count, 0);
            return;
        }
        ASSERT_TRUE(SettingsInRange(r.Setting));
        const int chsel = r.Setting.CHSel;
        ASSERT_EQ(r.fCh0Valid, chsel != 1 ? 1 : 0) << "CHSel " << chsel;
        ASSERT_EQ(r.fCh1Valid, chsel != 0 ? 1 : 0) << "CHSel " << chsel;
        if (chsel == 0) {
            ASSERT_EQ(r.Ch1.Count, 0);
        } else if (chsel == 1) {
            ASSERT_EQ(r.Ch0.Count, 0);
        } else {
            ASSERT_EQ(r.Ch0.Count, r.Ch1.Count);
        }
    }

    // Every file in the folder is one we wrote whole, holding what we wrote;
    // no temporary or partial file is left behind.
    void CheckFiles()
    {
        for (const auto& entry : fs::directory_iterator(dir_)) {
            if (entry.is_directory())
                continue;
            const std::string name = entry.path().string();
            const auto e = expected_.find(name);
            ASSERT_NE(e, expected_.end()) << "stray file " << name;
            TAdcSetting s;
            TChannelData ch0{0, check_.Code0.data(), check_.Volt0.data()};
            TChannelData ch1{0, check_.Code1.data(), check_.Volt1.data()};
            ASSERT_TRUE(file_.LoadData(name, &s, &ch0, &ch1)) << "half-written file " << name;
            ASSERT_EQ(s.CHSel, e->second.setting.CHSel);
            ASSERT_EQ(std::vector<uint32_t>(ch0.Code, ch0.Code + ch0.Count), e->second.ch0);
            ASSERT_EQ(std::vector<uint32_t>(ch1.Code, ch1.Code + ch1.Count), e->second.ch1);
        }
    }

    std::mt19937_64 rng_;
    fs::path dir_;
    SoakCounts& counts_;
    std::shared_ptr<ManualClock> clock_;
    SimBoardDriver* sim_ = nullptr;
    std::unique_ptr<ControllerRig> rig_;
    TmyFile file_;
    std::map<std::string, Expected> expected_;
    TChannelStorage check_;
    size_t seenEnds_ = 0;
};

int SequenceCount()
{
    const char* env = std::getenv("MIRANTOS_SOAK_SEQUENCES");
    const int n = env ? std::atoi(env) : 0;
    return n > 0 ? n : 300;
}

TEST(FaultSoak, RandomSequencesKeepEveryInvariant)
{
    SoakCounts counts;
    const int sequences = SequenceCount();
    for (int s = 0; s < sequences && !HasFatalFailure(); ++s) {
        QTemporaryDir tmp;
        ASSERT_TRUE(tmp.isValid());
        SCOPED_TRACE("sequence " + std::to_string(s));
        auto soak = std::make_unique<Soak>(0x5EED0000u + static_cast<uint64_t>(s),
                                           fs::path(tmp.path().toStdString()), counts);
        soak->Run(40);
        ++counts.sequences;
    }

    std::cout << "soak: " << counts.sequences << " sequences, " << counts.steps << " steps, "
              << counts.polls << " polls; runs started " << counts.runsStarted << " (completed "
              << counts.ends[RunEnd::Completed] << ", stopped " << counts.ends[RunEnd::Stopped]
              << ", discarded " << counts.ends[RunEnd::Discarded] << ", read errors "
              << counts.ends[RunEnd::ReadError] << "), starts refused " << counts.startsRefused
              << "; saves " << counts.saves << " (declined " << counts.savesDeclined << ", failed "
              << counts.savesFailed << "), loads " << counts.loads << " (refused "
              << counts.loadsRefused << "), toggles " << counts.toggles << "; faults "
              << counts.Faults() << ":";
    for (const auto& [name, n] : counts.faults)
        std::cout << ' ' << name << '=' << n;
    std::cout << std::endl;

    // The soak is only worth something if it reached every kind of ending.
    EXPECT_GT(counts.ends[RunEnd::Completed], 0);
    EXPECT_GT(counts.ends[RunEnd::Stopped], 0);
    EXPECT_GT(counts.ends[RunEnd::ReadError], 0);
    EXPECT_GT(counts.savesFailed, 0);
    EXPECT_GT(counts.loadsRefused, 0);
}

} // namespace
} // namespace mirantos::testing
