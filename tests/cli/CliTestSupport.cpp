#include "CliTestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <fstream>
#include <sstream>

namespace clitest {

Result RunCli(const std::vector<std::string>& args, const mirantos::cli::MeasureEnv& env)
{
    std::ostringstream out;
    std::ostringstream err;
    Result r;
    r.code = mirantos::cli::Run(args, mirantos::cli::CliIo{out, err, false}, env);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::string DtaText(int chSel, const std::vector<std::string>& sampleLines, int spsSel,
                    int countSel)
{
    std::string s = "AD7177_DataFile:\r\nM:\r\n";
    s += "spsSel:" + std::to_string(spsSel) + "\r\n";
    s += "DataCountSel:" + std::to_string(countSel) + "\r\n";
    s += "CHSel:" + std::to_string(chSel) + "\r\n";
    s += "GainSel:0\r\nfSinc5:1\r\nfBUF_ON:0\r\nMEND:\r\nD:\r\n";
    for (const std::string& l : sampleLines)
        s += l + "\r\n";
    s += "DEND:\r\n";
    return s;
}

TempDir::TempDir() = default;

std::string TempDir::Path(const std::string& name) const
{
    return dir_.filePath(QString::fromStdString(name)).toStdString();
}

std::string TempDir::Write(const std::string& name, const std::string& content) const
{
    const std::string path = Path(name);
    std::ofstream f(path, std::ios::binary);
    f << content;
    return path;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool FileExists(const std::string& path)
{
    return QFileInfo::exists(QString::fromStdString(path));
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

} // namespace clitest
