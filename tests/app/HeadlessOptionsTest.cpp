// --help and --version of both window programs print and exit 0 without a
// display (a QApplication without one aborts); mirantos-sim says what it is.

#include <QProcess>
#include <gtest/gtest.h>

namespace {

using Case = std::tuple<const char*, const char*, const char*>; // program, option, output

class HeadlessOption : public ::testing::TestWithParam<Case> {};

TEST_P(HeadlessOption, PrintsAndExitsZeroWithoutADisplay)
{
    const auto& [exe, option, says] = GetParam();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(v));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QString::fromUtf8(exe), {QLatin1String(option)});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    EXPECT_TRUE(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << p.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains(QString::fromUtf8(says))) << out.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Programs, HeadlessOption,
    ::testing::Values(Case{MIRANTOS_SIM_EXE, "--help", "simulated board (シミュレーションボード)"},
                      Case{MIRANTOS_SIM_EXE, "--version", "mirantos-sim 1.10 (simulated board)\n"},
                      Case{MIRANTOS_USB_EXE, "--help", "Usage: mirantos [FILE]\n"},
                      Case{MIRANTOS_USB_EXE, "--version", "mirantos 1.10\n"}));

} // namespace
