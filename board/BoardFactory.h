#pragma once
// The boards the program can talk to: the real one over USB (libftdi1) and
// the simulated one.

#include "FtdiDriver.h"
#include "SimBoard.h"

#include <cstdint>
#include <memory>

namespace mirantos {

// The first FTDI device on the USB, through libftdi1.
std::unique_ptr<IFtdiDriver> MakeUsbDriver();

// The simulated board in real time; same seed, same samples.
std::unique_ptr<IFtdiDriver> MakeSimDriver(uint64_t seed = 1);

// The simulated board with every detail chosen by the caller.
std::unique_ptr<SimBoardDriver> MakeSimDriver(SimConfig config);

} // namespace mirantos
