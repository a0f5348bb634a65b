// mirantos-sim: the same program on the built-in simulated board.
#include "BoardFactory.h"
#include "Startup.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    // MIRANTOS_SIM sets the simulated input (flicker, drift, pickup, tone, seed). A
    // bad item is named on stderr and left out; the program starts anyway, as
    // it does without the variable.
    mirantos::SimConfig config;
    if (const char* text = std::getenv("MIRANTOS_SIM")) {
        for (const std::string& problem : mirantos::ApplySimSettings(text, config))
            std::fprintf(stderr, "mirantos-sim: MIRANTOS_SIM: %s; ignored\n", problem.c_str());
    }
    return RunMirantos(
        argc, argv,
        [config]() -> std::unique_ptr<IFtdiDriver> { return mirantos::MakeSimDriver(config); },
        true);
}
