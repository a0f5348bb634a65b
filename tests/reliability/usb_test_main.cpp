// gtest main for the tests on the emulated USB device: they need the umockdev
// preload library, so the program restarts itself under umockdev-wrapper when
// it was started without it.

#include "UsbEmulator.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    mirantos::testing::ReexecUnderUmockdevIfNeeded(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // The tool's commands draw their graph off screen; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
