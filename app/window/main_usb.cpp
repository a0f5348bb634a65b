// mirantos: the program on the real board, over libftdi1.
#include "BoardFactory.h"
#include "Startup.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    // MIRANTOS_DEVICE pins the board by serial number ("SERIAL" or "SERIAL:B")
    // when other FTDI devices are plugged in.
    const char* pinned = std::getenv("MIRANTOS_DEVICE");
    const std::string device = pinned != nullptr ? pinned : "";
    // A malformed pin is a usage error: no automatic choice may stand in for it.
    if (const std::string problem = mirantos::DeviceSelectorProblem(device); !problem.empty()) {
        std::fprintf(stderr, "mirantos: MIRANTOS_DEVICE \"%s\": %s\n", device.c_str(),
                     problem.c_str());
        return 2;
    }
    return RunMirantos(
        argc, argv, [device] { return mirantos::MakeUsbDriver(device); }, false);
}
