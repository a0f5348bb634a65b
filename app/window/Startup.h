#pragma once
// The program's whole start-up: the single-instance check, the window, the loop.

#include "FtdiDriver.h"

#include <functional>
#include <memory>

// `makeDriver` picks the board (USB or simulated).
int RunMirantos(int argc, char** argv, std::function<std::unique_ptr<IFtdiDriver>()> makeDriver);
