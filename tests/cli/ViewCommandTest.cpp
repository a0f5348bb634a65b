// view: a capture or a .DTA file as the trace viewer draws it; its options
// and the output rules every command keeps.

#include "CaptureFile.h"
#include "CliTestSupport.h"
#include "SampleFile.h"
#include "TracePicture.h"

#include <QImage>
#include <gtest/gtest.h>

using clitest::DtaText;
using clitest::RunCli;
using clitest::TempDir;
namespace cli = mirantos::cli;

namespace {

std::string Capture(const TempDir& dir, const std::string& name, int chSel, int n)
{
    mirantos::TCaptureInfo info;
    info.rateIndex = 10;
    info.rateSps = 1000;
    info.sinc5 = false;
    info.chSel = chSel;
    std::vector<uint32_t> c(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        c[static_cast<size_t>(i)] = 0x80000000u + static_cast<uint32_t>((i * 7919) % 3001);
    mirantos::TCaptureWriter w;
    const std::string path = dir.Path(name);
    w.Open(path, false);
    w.Begin(info);
    w.Write(chSel != 1 ? c.data() : nullptr, chSel != 0 ? c.data() : nullptr, n);
    w.Finish(mirantos::TCaptureEnd::Complete);
    return path;
}

// The picture the library composes for the file, for comparison.
QImage Composed(const std::string& path, QSize size, double from, double to)
{
    mirantos::TSampleSet s;
    std::vector<std::string> warnings;
    std::string error;
    mirantos::ReadSampleFile(path, 1, s, warnings, error);
    const mirantos::trace::TTraceData data(std::move(s), "x");
    const std::array<bool, 2> show = {true, true};
    auto view = mirantos::trace::WholeView(data, show, false, size);
    if (from >= 0) {
        view.x = mirantos::trace::ViewOfSeconds(data.Samples(), 1000, view.x.width, from, to);
        view.y = mirantos::trace::AutoYOf(
            data, show, mirantos::trace::VisibleSpan(view.x, data.Samples()), view.y.height);
    }
    return mirantos::trace::TTracePicture().Compose(data, view, size);
}

// The window's test covers units, channels and spans against this tool; here
// the defaults, open-ended spans and the other kinds of file.
TEST(ViewCommand, WritesTheViewersPictureOfEitherKindOfFile)
{
    TempDir dir;
    const std::string both = Capture(dir, "both.csv", 2, 5000);
    const std::string ch1 = Capture(dir, "ch1.csv", 1, 5000);
    const std::string dta =
        dir.Write("set.DTA", DtaText(0, {"2147483648", "2147483650", "2147483647"}));
    struct Case {
        std::vector<std::string> args;
        QSize size;
        double from, to;
    };
    int k = 0;
    for (const Case& c :
         {Case{{both}, {1000, 500}, -1, -1}, Case{{both, "--from", "4"}, {1000, 500}, 4, 5},
          Case{{ch1, "--to", "0.25"}, {1000, 500}, 0, 0.25},
          Case{{dta, "--size", "160x100"}, {160, 100}, -1, -1}}) {
        SCOPED_TRACE(k);
        const std::string out = dir.Path("v" + std::to_string(k++) + ".png");
        std::vector<std::string> args = {"view", "-o", out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const auto r = RunCli(args);
        ASSERT_EQ(r.code, cli::kExitOk) << r.err;
        EXPECT_EQ(QImage(QString::fromStdString(out)).convertToFormat(QImage::Format_RGB32),
                  Composed(c.args[0], c.size, c.from, c.to));
    }
}

TEST(ViewCommand, BadOptionsAreUsageErrorsAndOutputsFollowTheRules)
{
    TempDir dir;
    const std::string f = Capture(dir, "run.csv", 0, 100);
    const std::string taken = dir.Write("taken.png", "mine"), input = clitest::ReadAll(f);
    const auto view = [&](std::vector<std::string> more) {
        more.insert(more.begin(), {"view", f});
        return more;
    };
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    };
    for (const Case& c :
         {Case{view({}), cli::kExitUsage, "no picture file given"},
          Case{view({"-o", "p.png", "--channel", "2"}), cli::kExitUsage, "--channel takes"},
          Case{view({"-o", "p.png", "--unit", "mv"}), cli::kExitUsage, "--unit takes"},
          Case{view({"-o", "p.png", "--size", "100x100"}), cli::kExitUsage, "--size takes"},
          Case{view({"-o", "p.png", "--from", "-1"}), cli::kExitUsage, "--from takes"},
          Case{view({"-o", "p.png", "--from", "2", "--to", "1"}), cli::kExitUsage, "--to must"},
          Case{view({"-o", f}), cli::kExitUsage, ""},
          Case{view({"-o", taken}), cli::kExitFailure, "--force replaces it"},
          Case{view({"-o", dir.Path("c1.png"), "--channel", "1"}), cli::kExitFailure, "no CH1"}}) {
        SCOPED_TRACE(c.args.back());
        const auto r = RunCli(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(clitest::ReadAll(taken), "mine");
    EXPECT_EQ(clitest::ReadAll(f), input);
    EXPECT_FALSE(clitest::FileExists(dir.Path("c1.png")));
    EXPECT_EQ(RunCli({"view", f, "-o", taken, "--force"}).code, cli::kExitOk);
    EXPECT_FALSE(QImage(QString::fromStdString(taken)).isNull());
}

} // namespace
