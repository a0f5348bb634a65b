// The window's long capture over the real USB path (libftdi1 and libusb on an
// FT232R emulated by umockdev), polled by the window's own timer: the file
// holds exactly what the firmware sent, and the held data set stays.

#include "AppTestSupport.h"
#include "CaptureFile.h"
#include "CaptureRequest.h"
#include "FtdiUsbDriver.h"
#include "MeasureSession.h"
#include "Texts.h"
#include "UsbEmulator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>

using namespace mirantos;
using namespace mirantos::testing;

namespace {

// The two-channel records the firmware wrote after the last `command`, parsed
// independently of the program.
void FirmwareRecords(const EmulatedFtdi& emu, const std::string& command, size_t records,
                     std::vector<uint32_t>& ch0, std::vector<uint32_t>& ch1)
{
    size_t pos = std::string::npos;
    for (const auto& c : emu.Commands())
        pos = c.text == command ? c.firmwarePos : pos;
    ASSERT_NE(pos, std::string::npos);
    const auto log = emu.FirmwareLog();
    for (size_t k = 0; k < records && pos + 17 <= log.size(); ++k, pos += 17) {
        const std::string rec(log.begin() + static_cast<long>(pos),
                              log.begin() + static_cast<long>(pos + 17));
        ASSERT_EQ(rec.back(), '\r');
        ch0.push_back(static_cast<uint32_t>(std::stoul(rec.substr(0, 8), nullptr, 16)));
        ch1.push_back(static_cast<uint32_t>(std::stoul(rec.substr(8, 8), nullptr, 16)));
    }
}

// Lets the window's timers poll until the run ends or `limitMs` have passed.
bool RunWindowUntilIdle(TFormMain& w, int limitMs)
{
    QElapsedTimer wall;
    wall.start();
    while (w.Controller()->Measuring() && wall.elapsed() < limitMs) {
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return !w.Controller()->Measuring();
}

TEST(UsbWindowCapture, AHundredThousandTwoChannelSamplesAt10kspsAreTheFirmwaresAndTheDataSetStays)
{
    EmulatorOptions options;
    options.firmware.seed = 77;
    EmulatedFtdi emu(options);
    ASSERT_TRUE(emu.Ready()) << emu.SetupError();
    RecordingPresenter presenter;
    ScriptedDialogs dialogs;
    TFormMainDeps deps;
    deps.Presenter = &presenter;
    deps.Dialogs = &dialogs;
    deps.MakeDriver = [] { return std::make_unique<FtdiUsbDriver>(); };
    TFormMain w(std::move(deps));
    w.show();

    // A held data set: 1000 two-channel samples at 10 ksps.
    w.ComboBox1->setCurrentIndex(13);
    w.ComboBox2->setCurrentIndex(3);
    w.ComboBox3->setCurrentIndex(2);
    w.MeasureBtnClick();
    ASSERT_TRUE(RunWindowUntilIdle(w, 10000));
    ASSERT_EQ(w.Session().Count(1), 1000);
    const QString readout = w.Session().ReadoutText(1, true);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("usb.csv"));
    dialogs.captureAnswer = [&](TCaptureRequest* r) {
        r->path = path;
        r->byDuration = false;
        r->count = 100000;
        return true;
    };
    w.Capture1Click();
    ASSERT_TRUE(w.Controller()->Measuring());
    ASSERT_TRUE(RunWindowUntilIdle(w, 60000));

    EXPECT_EQ(emu.Commands().back().text, "A2186A0");
    TCaptureData data;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(ReadCapture(path.toStdString(), data, warnings, error)) << error;
    EXPECT_EQ(data.end, "complete, samples=100000");
    std::vector<uint32_t> ch0;
    std::vector<uint32_t> ch1;
    FirmwareRecords(emu, "A2186A0", 100000, ch0, ch1);
    ASSERT_EQ(ch0.size(), 100000u);
    EXPECT_TRUE(data.ch0 == ch0);
    EXPECT_TRUE(data.ch1 == ch1);
    EXPECT_EQ(emu.DroppedBytes(), 0);
    EXPECT_TRUE(presenter.boxes.empty());
    EXPECT_EQ(w.StatusBar()->PanelText(2), path + U(text::CaptureWrittenInfix) +
                                               QStringLiteral("100000") +
                                               U(text::CaptureWrittenSuffix));

    EXPECT_TRUE(w.Session().Count(0) == 1000 && w.Session().Count(1) == 1000);
    EXPECT_EQ(w.Session().ReadoutText(1, true), readout);
}

// An unplug fails the transfers in flight (EPROTO, or ETIME) before the
// device is reported gone: the box still says the device disappeared.
TEST(UsbWindowCapture, AnUnplugMidCaptureIsReportedAsTheDeviceGone)
{
    for (const int err : {EPROTO, ETIME}) {
        SCOPED_TRACE(err);
        EmulatorOptions options;
        options.firmware.seed = 77;
        EmulatedFtdi emu(options);
        ASSERT_TRUE(emu.Ready()) << emu.SetupError();
        RecordingPresenter presenter;
        ScriptedDialogs dialogs;
        TFormMainDeps deps;
        deps.Presenter = &presenter;
        deps.Dialogs = &dialogs;
        deps.MakeDriver = [] { return std::make_unique<FtdiUsbDriver>(); };
        TFormMain w(std::move(deps));
        w.show();
        w.ComboBox1->setCurrentIndex(13);
        w.ComboBox3->setCurrentIndex(2);
        QTemporaryDir dir;
        dialogs.captureAnswer = [&](TCaptureRequest* r) {
            r->path = dir.filePath(QStringLiteral("unplug.csv"));
            r->byDuration = false;
            r->count = 100000;
            return true;
        };
        bool unplugged = false;
        QObject::connect(w.Controller(), &TMeasureController::SamplesReceived, &w,
                         [&](int received, int) {
                             if (received >= 2000 && !unplugged) {
                                 unplugged = true;
                                 emu.Vanish(err);
                             }
                         });
        w.Capture1Click();
        ASSERT_TRUE(w.Controller()->Measuring());
        ASSERT_TRUE(RunWindowUntilIdle(w, 60000));

        EXPECT_TRUE(unplugged);
        ASSERT_EQ(presenter.boxes.size(), 1u);
        const QString& box = presenter.boxes[0].text;
        EXPECT_TRUE(
            box.startsWith(U(text::MeasureError) + QStringLiteral("\nUSB device disappeared")))
            << box.toStdString();
        EXPECT_EQ(w.StatusBar()->PanelText(TmyStatus::DetailPanel), U(text::MeasureError));
    }
}

} // namespace

int main(int argc, char** argv)
{
    ReexecUnderUmockdevIfNeeded(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
