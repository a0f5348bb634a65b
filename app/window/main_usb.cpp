// mirantos: the program on the real board, over libftdi1.
#include "BoardFactory.h"
#include "Startup.h"

#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    // MIRANTOS_DEVICE pins the board by serial number ("SERIAL" or "SERIAL:B")
    // when other FTDI devices are plugged in.
    const char* pinned = std::getenv("MIRANTOS_DEVICE");
    const std::string device = pinned != nullptr ? pinned : "";
    return RunMirantos(
        argc, argv, [device] { return mirantos::MakeUsbDriver(device); }, false);
}
