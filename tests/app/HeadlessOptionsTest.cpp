// --help and --version of both window programs answer without a display:
// they print and exit 0 before anything needs one (a QApplication without a
// display aborts). The simulated board's program says what it is.

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    const char* exe;
    const char* option;
    const char* says; // in the output
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << c.name;
}

class HeadlessOption : public ::testing::TestWithParam<Case> {};

TEST_P(HeadlessOption, PrintsAndExitsZeroWithoutADisplay)
{
    const Case& c = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(v));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QString::fromUtf8(c.exe), {QLatin1String(c.option)});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << p.readAllStandardError().toStdString();
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(out.contains(QString::fromUtf8(c.says))) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Programs, HeadlessOption,
    ::testing::Values(
        Case{"SimHelp", MIRANTOS_SIM_EXE, "--help", "simulated board (シミュレーションボード)"},
        Case{"SimVersion", MIRANTOS_SIM_EXE, "--version", "mirantos-sim 1.10 (simulated board)\n"},
        Case{"UsbHelp", MIRANTOS_USB_EXE, "--help", "Usage: mirantos [FILE]\n"},
        Case{"UsbVersion", MIRANTOS_USB_EXE, "--version", "mirantos 1.10\n"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
