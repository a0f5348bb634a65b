#include "BoardFactory.h"

#include "FtdiUsbDriver.h"

namespace mirantos {

std::unique_ptr<IFtdiDriver> MakeUsbDriver(const std::string& device)
{
    FtdiDeviceSelector selector;
    if (!FtdiDeviceSelector::Parse(device, &selector))
        selector.problem = "device \"" + device + "\": " + FtdiDeviceSelector::Problem(device);
    return std::make_unique<FtdiUsbDriver>(std::move(selector));
}

bool IsValidDeviceSelector(const std::string& device)
{
    FtdiDeviceSelector selector;
    return FtdiDeviceSelector::Parse(device, &selector);
}

std::string DeviceSelectorProblem(const std::string& device)
{
    return FtdiDeviceSelector::Problem(device);
}

std::unique_ptr<IFtdiDriver> MakeSimDriver(uint64_t seed)
{
    SimConfig config;
    config.seed = seed;
    return std::make_unique<SimBoardDriver>(std::move(config));
}

std::unique_ptr<SimBoardDriver> MakeSimDriver(SimConfig config)
{
    return std::make_unique<SimBoardDriver>(std::move(config));
}

} // namespace mirantos
