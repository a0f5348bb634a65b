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
    QGuiApplication app(argc, argv); // the tool's commands draw their graph
    return RUN_ALL_TESTS();
}
