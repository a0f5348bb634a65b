// Every input of the fuzz corpus, and every input a fuzzer once found to fail,
// replayed through the same checks as the fuzz targets, in the normal build.

#include "FuzzCases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> Inputs(const std::string& target)
{
    std::vector<fs::path> files;
    for (const fs::path& dir :
         {fs::path(MIRANTOS_FUZZ_CORPUS) / target, fs::path(MIRANTOS_FUZZ_REGRESSIONS) / target}) {
        if (!fs::is_directory(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir))
            if (entry.is_regular_file())
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> Bytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

TEST(FuzzRegression, DtaInputsPassTheReaderChecks)
{
    const auto files = Inputs("dta");
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        const auto bytes = Bytes(f);
        EXPECT_EQ(mirantos::fuzz::DtaFileCase(bytes.data(), bytes.size()), "") << f;
    }
}

TEST(FuzzRegression, CaptureInputsPassTheReaderChecks)
{
    const auto files = Inputs("capture");
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        const auto bytes = Bytes(f);
        EXPECT_EQ(mirantos::fuzz::CaptureFileCase(bytes.data(), bytes.size()), "") << f;
    }
}

TEST(FuzzRegression, LimitsInputsPassTheReaderChecks)
{
    const auto files = Inputs("limits");
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        const auto bytes = Bytes(f);
        EXPECT_EQ(mirantos::fuzz::LimitsCase(bytes.data(), bytes.size()), "") << f;
    }
}

TEST(FuzzRegression, BoardLinkInputsPassTheLinkChecks)
{
    mirantos::fuzz::InitBoardLink(nullptr, nullptr);
    const auto files = Inputs("board_link");
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        const auto bytes = Bytes(f);
        EXPECT_EQ(mirantos::fuzz::BoardLinkCase(bytes.data(), bytes.size()), "") << f;
    }
}

} // namespace
