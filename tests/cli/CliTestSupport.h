#pragma once
// Running the tool's commands in-process with captured streams, and crafting
// data files for them.

#include "Commands.h"

#include <QTemporaryDir>
#include <string>
#include <vector>

namespace clitest {

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

Result RunCli(const std::vector<std::string>& args, const mirantos::cli::MeasureEnv& env = {});

// A data file as the window writes it: tag, the six settings, CR LF lines.
std::string DtaText(int chSel, const std::vector<std::string>& sampleLines, int spsSel = 1,
                    int countSel = 3);

class TempDir {
public:
    TempDir();
    // Path of a file inside the directory.
    std::string Path(const std::string& name) const;
    // Writes `content` to `name` and returns its path.
    std::string Write(const std::string& name, const std::string& content) const;

private:
    QTemporaryDir dir_;
};

std::string ReadAll(const std::string& path);
bool FileExists(const std::string& path);
std::vector<std::string> Lines(const std::string& text);

} // namespace clitest
