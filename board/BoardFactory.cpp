#include "BoardFactory.h"

#include "FtdiUsbDriver.h"

namespace mirantos {

std::unique_ptr<IFtdiDriver> MakeUsbDriver()
{
    return std::make_unique<FtdiUsbDriver>();
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
