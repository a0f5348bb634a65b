#include "Commands.h"
#include "MirantosVersion.h"
#include "Usage.h"

#include <ostream>

namespace mirantos::cli {

std::string VersionText()
{
    return std::string("mirantos-cli ") + MIRANTOS_VERSION;
}

int Run(const std::vector<std::string>& args, CliIo io, const MeasureEnv& env)
{
    if (args.empty())
        return UsageError(io, "no command given", kMainUsage);
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "measure")
        return Measure(rest, io, env);
    if (command == "capture")
        return Capture(rest, io, env);
    if (command == "stats")
        return Stats(rest, io);
    if (command == "plot")
        return Plot(rest, io);
    if (command == "export")
        return Export(rest, io);
    if (command == "view")
        return View(rest, io);
    if (command == "analyze")
        return Analyze(rest, io);
    if (command == "compare")
        return Compare(rest, io);
    if (command == "report")
        return Report(rest, io);
    if (command == "test")
        return Test(rest, io, env);
    if (command == "results")
        return Results(rest, io);
    if (command == "serve")
        return Serve(rest, io);
    if (command == "--help" || command == "-h" || command == "help")
        return PrintHelp(io, kMainUsage);
    if (command == "--version") {
        io.out << VersionText() << '\n' << std::flush;
        return kExitOk;
    }
    return UsageError(io, "unknown command \"" + command + "\"", kMainUsage);
}

} // namespace mirantos::cli
