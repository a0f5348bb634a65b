// The limits reader: the documented example read whole, and one table of
// files it must refuse, each with the key's path and what is wrong.

#include "Limits.h"

#include <QTemporaryDir>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>

using namespace mirantos::station;
using TJson = nlohmann::ordered_json;

namespace {

const char* const kExample = R"({
  "name": "AFE-7 incoming inspection",
  "version": "3",
  "settings": {
    "board": "sim",
    "sim": {"seed": 7, "flicker_nV": 0, "drift_uV_per_h": 0, "pickup_uV": 0},
    "rate": "1000",
    "filter": "sinc5",
    "channels": "both",
    "samples": 10000,
    "analysis": {"window": "blackman-harris", "segment": 0, "bins": 100}
  },
  "limits": {
    "ch0": {
      "rms_uV": {"max": 0.8},
      "noise_free_bits": {"min": 20.5},
      "band_rms_uV": {"band_Hz": [0.1, 10], "max": 0.3},
      "pp_uV": {"max": 5.0}
    },
    "ch1": {"rms_uV": {"min": 0.01, "max": 0.8}}
  }
})";

TEST(Limits, TheExampleReadsWhole)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("limits.json").toStdString();
    std::ofstream(path, std::ios::binary) << kExample;
    TTestLimits l;
    std::string error;
    ASSERT_TRUE(ReadLimitsFile(path, l, error)) << error;
    EXPECT_EQ(l.name + " " + l.version, "AFE-7 incoming inspection 3");
    EXPECT_TRUE(l.settings.sim && l.settings.IsDataSet());
    EXPECT_EQ(l.settings.RateSps(), 1000.0);
    ASSERT_EQ(l.LimitCount(), 5);
    // The file's order, each limit with what it names.
    EXPECT_EQ(l.channels[0][1].figure, "noise_free_bits");
    EXPECT_EQ(l.channels[0][1].min, 20.5);
    EXPECT_FALSE(l.channels[0][1].max);
    EXPECT_EQ(l.channels[0][2].bandHighHz, 10.0);
    EXPECT_EQ(l.channels[1][0].min, 0.01);
    EXPECT_EQ(l.content, kExample);
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(l.sha256, Sha256OfFile(path, error));
    EXPECT_EQ(Sha256OfFile(path + ".gone", error), "");
    EXPECT_EQ(error.rfind(path + ".gone: ", 0), 0u) << error;
    const TJson settings = TJson::parse(l.settings.Json());
    EXPECT_EQ(settings["rate"], "1ksps");
    EXPECT_EQ(settings["sim"]["seed"], 7);
}

// The README's table of figures is what the reader accepts: each figure, with
// its unit, is a row, and each row names a figure the reader takes.
TEST(Limits, TheReadmeListsEveryFigureWithItsUnit)
{
    std::ifstream in(MIRANTOS_README);
    ASSERT_TRUE(in);
    std::set<std::string> rows;
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (std::regex_search(line, m, std::regex("^\\| `([^`]+)` \\| ([^|]+) \\|")))
            rows.insert(m[1].str() + " [" + m[2].str() + "]");
    }
    std::set<std::string> accepted;
    for (const TFigureInfo& f : Figures()) {
        const std::string name(f.name);
        TTestLimits l;
        std::string error;
        EXPECT_TRUE(ParseLimits(
            R"({"name": "t", "version": "1", "settings": {"rate": "1000", "filter": "sinc5",
            "channels": "ch0", "samples": 100000}, "limits": {"ch0": {")" +
                name + R"(": {"max": 1}}}})",
            l, error))
            << error;
        accepted.insert(name + " [" + std::string(f.unit) + "]");
    }
    EXPECT_EQ(rows, accepted);
}

TEST(Limits, RateTextsOfTheListItsIndexOrItsRate)
{
    const std::pair<const char*, int> rates[] = {{"1ksps", 10}, {"1000", 10}, {"397.5/400sps", 8},
                                                 {"400", 8},    {"50", 4},    {"12", 12}};
    for (const auto& [text, index] : rates) {
        TJson j = TJson::parse(kExample);
        j["settings"]["rate"] = text;
        TTestLimits l;
        std::string error;
        EXPECT_TRUE(ParseLimits(j.dump(), l, error)) << text << ": " << error;
        EXPECT_EQ(l.settings.rateIndex, index) << text;
    }
}

// A merge patch on the example (null removes a key), and how the refusal starts.
// A patch that is no object goes into the limits of ch0; "~" text replaces the
// band's max in the example's text, "=" text is the whole file.
struct Refusal {
    const char* label;
    const char* patch;
    const char* expected;
};

class LimitsRefusal : public testing::TestWithParam<Refusal> {};

TEST_P(LimitsRefusal, NamesTheKeysPath)
{
    const std::string patch = GetParam().patch;
    std::string text = kExample;
    if (patch[0] == '~') {
        text.replace(text.find("\"max\": 0.3"), 10, patch.substr(1));
    } else if (patch[0] == '=') {
        text = patch.substr(1);
    } else {
        TJson j = TJson::parse(kExample);
        j.merge_patch(
            TJson::parse(patch[0] == '"' ? R"({"limits": {"ch0": {)" + patch + "}}}" : patch));
        text = j.dump();
    }
    TTestLimits l;
    l.name = "untouched";
    std::string error;
    EXPECT_FALSE(ParseLimits(text, l, error));
    EXPECT_EQ(error.rfind(GetParam().expected, 0), 0u) << error;
    EXPECT_EQ(l.name, "untouched");
}

const Refusal kRefusals[] = {
    {"UnknownTopKey", R"({"nmae": 1})", "nmae: unknown key"},
    {"LotWithBidiControl", R"({"lot": "L\u202e1"})", "lot holds a bidirectional control"},
    {"UnknownSetting", R"({"settings": {"count": 10}})", "settings.count: unknown key"},
    {"UnknownFigure", R"("rms_nV": {"max": 1})", "limits.ch0.rms_nV: unknown figure"},
    {"TypoInLimit", R"("rms_uV": {"maximum": 1})", "limits.ch0.rms_uV.maximum: unknown key"},
    {"BandOnRms", R"("rms_uV": {"band_Hz": [1, 2]})", "limits.ch0.rms_uV.band_Hz: unknown key"},
    {"MissingSamples", R"({"settings": {"samples": null}})", "settings.samples: missing"},
    {"VersionFraction", R"({"version": 3.5})", "version: must be a text"},
    {"MinAboveMax", R"("rms_uV": {"min": 0.9})", "limits.ch0.rms_uV.min: 0.9 is above max 0.8"},
    {"NegativeRms", R"("rms_uV": {"max": -0.1})", "limits.ch0.rms_uV.max: -0.1 is below 0"},
    {"BitsAbove32", R"("noise_free_bits": {"min": 33})",
     "limits.ch0.noise_free_bits.min: 33 is above 32"},
    {"CodeAboveRange", R"("pp_code": {"max": 4294967296})",
     "limits.ch0.pp_code.max: 4294967296 is above 4294967295"},
    {"NoBound", R"("rms_uV": {"max": null})", "limits.ch0.rms_uV: needs \"min\" and/or \"max\""},
    {"ChannelNotMeasured", R"({"settings": {"channels": "ch0"}})",
     "limits.ch1: channel 1 is not measured"},
    {"LowFrequencyIn10s", R"("lf_0p1_10Hz.rms_uV": {"max": 1})",
     "limits.ch0.lf_0p1_10Hz.rms_uV: not defined for 10000 samples at 1000 sps (needs at least "
     "30 s"},
    {"LowFrequencyAt20sps",
     R"({"settings": {"rate": "20sps", "samples": 100000},
         "limits": {"ch0": {"band_rms_uV": null, "lf_0p1_10Hz.pp_uV_max": {"max": 1}}}})",
     "limits.ch0.lf_0p1_10Hz.pp_uV_max: not defined for 100000 samples at 20 sps (needs at "
     "least 49.96"},
    {"BandBeyondHalfTheRate", R"("band_rms_uV": {"band_Hz": [1, 501]})",
     "limits.ch0.band_rms_uV.band_Hz[1]: must lie in 0 .. 500, not 501"},
    {"BandReversed", R"("band_rms_uV": {"band_Hz": [10, 1]})",
     "limits.ch0.band_rms_uV.band_Hz: runs from 10 down to 1"},
    // Figures no board could ever give: every run would fail on them.
    {"BandBetweenTwoBins", R"("band_rms_uV": {"band_Hz": [10, 10.2], "max": 1})",
     "limits.ch0.band_rms_uV.band_Hz: 10 .. 10.2 Hz holds no frequency bin: at 1000 sps the "
     "spectrum of 10000 samples (segment 2048) has one every 0.48828125 Hz"},
    {"BandBelowTheFirstBin",
     R"({"settings": {"analysis": {"segment": 8}},
         "limits": {"ch0": {"band_rms_uV": {"band_Hz": [0, 100], "max": 1}}}})",
     "limits.ch0.band_rms_uV.band_Hz: 0 .. 100 Hz holds no frequency bin: at 1000 sps the "
     "spectrum of 10000 samples (segment 8) has one every 125 Hz, from 125 to 500 Hz"},
    {"DriftOf10s", R"("slope_uV_per_h": {"max": 2})",
     "limits.ch0.slope_uV_per_h: not defined for 10000 samples at 1000 sps (needs at least 30 s"},
    {"SegmentTooLong", R"({"settings": {"analysis": {"segment": 10001}}})",
     "settings.analysis.segment: must be 0 (the default) or lie in 8 .. 10000"},
    {"WindowUnknown", R"({"settings": {"analysis": {"window": "hamming"}}})",
     "settings.analysis.window: must be blackman-harris, hann or rect"},
    {"SamplesBeyondTheBoard", R"({"settings": {"samples": 1048576}})",
     "settings.samples: must lie in 10 .. 1048575"},
    {"RateAmbiguous", R"({"settings": {"rate": "10"}})",
     "settings.rate: \"10\" is both the index of 1ksps and 10sps"},
    {"RateUnknown", R"({"settings": {"rate": "1KSPS"}})", "settings.rate: must be a rate of"},
    {"SimOnUsb", R"({"settings": {"board": "usb"}})", "settings.sim: only with \"board\": \"sim\""},
    {"ChannelWithoutLimits", R"({"limits": {"ch1": {"rms_uV": null}}})", "limits.ch1: no limits"},
    {"NoLimitsAtAll", R"({"limits": {"ch0": null, "ch1": null}})", "limits: no limits"},
    {"NotAnObject", "[]", "the limits file: must be an object"},
    {"RepeatedKey", R"(~"max": 0.3, "max": 3)", "limits.ch0.band_rms_uV.max: given twice"},
    {"Overflow", R"(~"max": 1e999)", "number overflow parsing '1e999'"},
    {"BrokenJson", R"(={"name": )", "parse error at line 1"},
    {"SineOf1000Samples",
     R"({"settings": {"samples": 1000}, "limits": {"ch0": {"snr_dB": {"min": 90}}}})",
     "limits.ch0.snr_dB: not defined for 1000 samples (needs at least 1024 samples)"},
    {"SineWindowUnknown", R"({"settings": {"analysis": {"sine": {"window": "hann"}}}})",
     "settings.analysis.sine.window: must be bh7 or rect, not \"hann\""},
    {"SineToneBeyondTheBand", R"({"settings": {"analysis": {"sine": {"tone_Hz": 600}}}})",
     "settings.analysis.sine.tone_Hz: must lie in 0 .. 500, not 600"},
    {"SineToneInTheDcRegion", R"({"settings": {"analysis": {"sine": {"tone_Hz": 0.5}}}})",
     "settings.analysis.sine.tone_Hz: takes a frequency from 0.75 to 499.95 Hz"},
    {"SimToneWithoutAmplitude", R"({"settings": {"sim": {"tone": "1000"}}})",
     "settings.sim.tone: takes F:A[:HD2[:HD3]]"},
};

INSTANTIATE_TEST_SUITE_P(Table, LimitsRefusal, testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
