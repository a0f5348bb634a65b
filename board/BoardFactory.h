#pragma once
// The boards the program can talk to: the real one over USB (libftdi1) and
// the simulated one.

#include "FtdiDriver.h"
#include "SimBoard.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mirantos {

// The board on the USB, through libftdi1. `device` empty: the first FTDI
// device whose product string starts with "MIRANTOS", else the first FTDI
// device; otherwise a serial number, optionally with ":A" or ":B" for the
// interface ("FT1X2Y3Z:B"). A text that is no valid selector opens nothing,
// with DeviceSelectorProblem's words as the reason.
std::unique_ptr<IFtdiDriver> MakeUsbDriver(const std::string& device = {});

// Whether `device` is a valid selector for MakeUsbDriver (empty is).
bool IsValidDeviceSelector(const std::string& device);
// Why `device` is no selector, naming the wrong part (an interface letter
// other than A or B, a missing serial number); empty when it is one.
std::string DeviceSelectorProblem(const std::string& device);

// The simulated board in real time; same seed, same samples.
std::unique_ptr<IFtdiDriver> MakeSimDriver(uint64_t seed = 1);

// The simulated board with every detail chosen by the caller.
std::unique_ptr<SimBoardDriver> MakeSimDriver(SimConfig config);

} // namespace mirantos
