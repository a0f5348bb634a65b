// The whole-file writer when the disk gives out: a file with two names is
// never left cut, and what happened is said.

#include "WholeFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using mirantos::WriteFileWhole;

namespace {

std::string ReadAll(const fs::path& p)
{
    std::stringstream s;
    s << std::ifstream(p, std::ios::binary).rdbuf();
    return s.str();
}

class Folder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/mirantos-whole-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        dir = name;
    }
    void TearDown() override
    {
        ::umount2(dir.c_str(), MNT_DETACH); // where a test mounted one
        fs::remove_all(dir);
    }
    // `old` under two names (one when `single`): out.csv and other.csv.
    fs::path TwoNames(const std::string& old, bool single = false)
    {
        std::ofstream(dir / "out.csv", std::ios::binary) << old;
        if (!single)
            fs::create_hard_link(dir / "out.csv", dir / "other.csv");
        return dir / "out.csv";
    }
    size_t Entries() const { return std::distance(fs::directory_iterator(dir), {}); }
    fs::path dir;
};

class SizeLimit : public Folder, public ::testing::WithParamInterface<bool> {};

// The new content cannot be written whole (the file size limit stops root
// too): the file and its other name keep the old content, no temporary stays.
TEST_P(SizeLimit, AFileSizeLimitLeavesTheOldContentAndSaysSo)
{
    const bool twoNames = GetParam();
    const fs::path target = TwoNames("old\n", !twoNames);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = WriteFileWhole(target.string(), std::string(20000, 'n'), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error.rfind("cannot write " + target.string() + ": File too large", 0), 0u) << error;
    EXPECT_EQ(error.find("is as it was") != std::string::npos, twoNames) << error;
    EXPECT_EQ(ReadAll(target), "old\n");
    EXPECT_EQ(Entries(), twoNames ? 2u : 1u);
    EXPECT_TRUE(!twoNames || ReadAll(dir / "other.csv") == "old\n");
}

INSTANTIATE_TEST_SUITE_P(WholeFile, SizeLimit, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TwoNames" : "OneName"; });

// A hard-linked file on a disk that holds the new content once but not
// twice: the copy into the file runs out of room half way, and the old
// content goes back in.
TEST_F(Folder, HardLinkedFileOnAFullDiskGetsItsOldContentBack)
{
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root): "
                     << std::strerror(errno);
    const std::string old(8192, 'o');
    const fs::path target = TwoNames(old);
    std::string error;
    EXPECT_FALSE(WriteFileWhole(target.string(), std::string(40960, 'n'), &error));
    EXPECT_NE(error.find("No space left on device; its old content is kept"), std::string::npos)
        << error;
    // Compared as booleans: a failure need not print 40 KiB.
    EXPECT_TRUE(ReadAll(dir / "other.csv") == old);
    EXPECT_EQ(fs::hard_link_count(target), 2u);
    EXPECT_EQ(Entries(), 2u);
}

// A FIFO's reader stays served from the check to the write; one that leaves
// before the write, or mid-way, makes it fail with the reason, not SIGPIPE.
TEST_F(Folder, AFifoIsHeldFromTheCheckAndAReaderThatLeftIsAnError)
{
    const std::string fifo = (dir / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string noReader = "cannot write " + fifo + ": nothing reads from it";
    EXPECT_EQ(mirantos::WriteProblem(fifo), noReader);
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(mirantos::WriteProblem(fifo), "");
    // Held open: the reader meets no end of input before the write, and its end once written.
    char got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), -1);
    std::string error;
    ASSERT_TRUE(WriteFileWhole(fifo, "data\n", &error)) << error;
    EXPECT_EQ(::read(reader, got, sizeof got), 5);
    EXPECT_EQ(::read(reader, got, sizeof got), 0);
    ::close(reader);

    reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(mirantos::WriteProblem(fifo), "");
    ::close(reader);
    EXPECT_FALSE(WriteFileWhole(fifo, "data\n", &error));
    EXPECT_EQ(error, noReader);

    // Leaving after the first byte, with a megabyte to go; the test's own idle
    // writer keeps the reader's read waiting for data instead of at the end.
    reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ::fcntl(reader, F_SETFL, 0);
    const int idle = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    std::thread leaving([reader] {
        char first = 0;
        (void)::read(reader, &first, 1);
        ::close(reader);
    });
    EXPECT_FALSE(WriteFileWhole(fifo, std::string(1 << 20, 'x'), &error));
    leaving.join();
    ::close(idle);
    EXPECT_EQ(error, "cannot write " + fifo + ": Broken pipe");
}

} // namespace
