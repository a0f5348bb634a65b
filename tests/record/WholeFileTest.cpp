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

namespace {

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

size_t Entries(const fs::path& dir)
{
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
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
        if (mounted)
            ::umount2(dir.c_str(), MNT_DETACH);
        fs::remove_all(dir);
    }
    fs::path dir;
    bool mounted = false;
};

struct Cut {
    const char* name;
    bool hardLinked;
};

class FileSizeLimit : public Folder, public ::testing::WithParamInterface<Cut> {};

// The new content cannot be written whole (the file size limit stops root
// too): the file and its other name keep the old content, no temporary stays.
TEST_P(FileSizeLimit, LeavesTheOldContentAndSaysSo)
{
    const fs::path target = dir / "out.csv";
    WriteAll(target, "old\n");
    if (GetParam().hardLinked)
        fs::create_hard_link(target, dir / "other.csv");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto handler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = mirantos::WriteFileWhole(target.string(), std::string(20000, 'n'), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, handler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error.rfind("cannot write " + target.string() + ": File too large", 0), 0u) << error;
    EXPECT_EQ(ReadAll(target), "old\n");
    EXPECT_EQ(Entries(dir), GetParam().hardLinked ? 2u : 1u);
    if (GetParam().hardLinked) {
        EXPECT_NE(error.find("is as it was"), std::string::npos) << error;
        EXPECT_EQ(ReadAll(dir / "other.csv"), "old\n");
        EXPECT_EQ(fs::hard_link_count(target), 2u);
    }
}

INSTANTIATE_TEST_SUITE_P(WholeFile, FileSizeLimit,
                         ::testing::Values(Cut{"OneName", false}, Cut{"TwoNames", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A hard-linked file on a disk that holds the new content once but not
// twice: the copy into the file runs out of room half way, and the old
// content goes back in.
TEST_F(Folder, HardLinkedFileOnAFullDiskGetsItsOldContentBack)
{
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root): "
                     << std::strerror(errno);
    mounted = true;
    const fs::path target = dir / "out.csv";
    const std::string old(8192, 'o');
    WriteAll(target, old);
    fs::create_hard_link(target, dir / "other.csv");
    std::string error;
    EXPECT_FALSE(mirantos::WriteFileWhole(target.string(), std::string(40960, 'n'), &error));
    EXPECT_NE(error.find("No space left on device; its old content is kept"), std::string::npos)
        << error;
    // Compared as booleans: a failure need not print 40 KiB.
    EXPECT_TRUE(ReadAll(target) == old);
    EXPECT_TRUE(ReadAll(dir / "other.csv") == old);
    EXPECT_EQ(fs::hard_link_count(target), 2u);
    EXPECT_EQ(Entries(dir), 2u);

    // With room, both names get the new content.
    EXPECT_TRUE(mirantos::WriteFileWhole(target.string(), std::string(20000, 'n'), &error))
        << error;
    EXPECT_TRUE(ReadAll(dir / "other.csv") == std::string(20000, 'n'));
    EXPECT_EQ(Entries(dir), 2u);
}

// A FIFO's reader stays served from the check to the write; one that leaves
// before the write makes it fail with the reason, the program goes on.
TEST_F(Folder, AFifoIsHeldFromTheCheckAndAReaderThatLeftIsAnError)
{
    const fs::path fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(mirantos::WriteProblem(fifo.string()),
              "cannot write " + fifo.string() + ": nothing reads from it");
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(mirantos::WriteProblem(fifo.string()), "");
    // Held open: the reader meets no end of input before the write.
    char got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), -1);
    EXPECT_EQ(errno, EAGAIN);
    std::string error;
    ASSERT_TRUE(mirantos::WriteFileWhole(fifo.string(), "data\n", &error)) << error;
    EXPECT_EQ(::read(reader, got, sizeof got), 5);
    EXPECT_EQ(::read(reader, got, sizeof got), 0); // and its end once written
    ::close(reader);

    reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(mirantos::WriteProblem(fifo.string()), "");
    ::close(reader);
    EXPECT_FALSE(mirantos::WriteFileWhole(fifo.string(), "data\n", &error));
    EXPECT_EQ(error, "cannot write " + fifo.string() + ": nothing reads from it");
    EXPECT_TRUE(fs::is_fifo(fifo));

    // A reader that leaves mid-way (after the first bytes, with a megabyte to
    // go): the writer gets the broken pipe as an error, not as SIGPIPE.
    reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ::fcntl(reader, F_SETFL, 0);
    // A writer of the test's own, so the reader's read waits for data instead
    // of meeting the end at once.
    const int idle = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    ASSERT_GE(idle, 0);
    std::thread leaving([reader] {
        char first = 0;
        (void)::read(reader, &first, 1);
        ::close(reader);
    });
    EXPECT_FALSE(mirantos::WriteFileWhole(fifo.string(), std::string(1 << 20, 'x'), &error));
    leaving.join();
    ::close(idle);
    EXPECT_EQ(error, "cannot write " + fifo.string() + ": Broken pipe");
}

} // namespace
