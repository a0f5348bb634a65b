#include "DataFileTestSupport.h"

#include <algorithm>
#include <csignal>

#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dtatest;

namespace {

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

// A two-channel data set of `count` samples in its own buffers.
struct DataSet {
    Buffers buf;
    TAdcSetting setting;
    explicit DataSet(int count, uint32_t seed = 1)
    {
        setting.CHSel = 2;
        for (int i = 0; i < count; ++i) {
            buf.ch0.Code[i] = seed * 2654435761u + static_cast<uint32_t>(i);
            buf.ch1.Code[i] = ~buf.ch0.Code[i];
        }
        buf.ch0.Count = buf.ch1.Count = count;
    }
    std::string Bytes() const
    {
        std::string out;
        EXPECT_TRUE(FormatDataFile2ch(setting, buf.ch0, buf.ch1, out));
        return out;
    }
};

class SaveTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string target = dir.File("run1.DTA");
    const std::string oldBytes = "old contents\r\n";
    std::vector<std::string> questions;
    TmyFile file{[this](const std::string& q) {
        questions.push_back(q);
        return answer;
    }};
    bool answer = true;
};

// ---------------------------------------------------------------- writing

TEST_F(SaveTest, NewFileIsWrittenWithoutQuestion)
{
    DataSet data(100);
    const mode_t oldMask = ::umask(022);
    TSaveOutcome outcome = TSaveOutcome::Failed;
    const bool ok = file.SaveData2ch(target, &data.setting, &data.buf.ch0, &data.buf.ch1, &outcome);
    ::umask(oldMask);
    ASSERT_TRUE(ok);
    EXPECT_EQ(outcome, TSaveOutcome::Written);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(ReadBytes(target), data.Bytes());
    EXPECT_EQ(ModeOf(target), 0644u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"run1.DTA"});
}

TEST_F(SaveTest, OneChannelFileHoldsTheGivenChannel)
{
    DataSet data(3);
    data.setting.CHSel = 1;
    ASSERT_TRUE(file.SaveData(target, &data.setting, &data.buf.ch1));
    std::string expected;
    ASSERT_TRUE(FormatDataFile(data.setting, data.buf.ch1, expected));
    EXPECT_EQ(ReadBytes(target), expected);
}

TEST_F(SaveTest, RelativeNameInCurrentFolder)
{
    DataSet data(2);
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    const bool ok = file.SaveData2ch("rel.DTA", &data.setting, &data.buf.ch0, &data.buf.ch1);
    ASSERT_EQ(::chdir(cwd), 0);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ReadBytes(dir.File("rel.DTA")), data.Bytes());
}

// ---------------------------------------------------------------- overwrite question

TEST_F(SaveTest, DeclinedOverwriteLeavesOldFileAndReportsSuccess)
{
    WriteBytes(target, oldBytes);
    answer = false;
    DataSet data(10);
    TSaveOutcome outcome = TSaveOutcome::Failed;
    EXPECT_TRUE(file.SaveData2ch(target, &data.setting, &data.buf.ch0, &data.buf.ch1, &outcome));
    EXPECT_EQ(outcome, TSaveOutcome::Declined);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "ファイル：" + target + "があります。\n上書きしますか");
    EXPECT_EQ(ReadBytes(target), oldBytes);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"run1.DTA"});
}

TEST_F(SaveTest, WithoutQuestionAnExistingFileIsKept)
{
    WriteBytes(target, oldBytes);
    TmyFile silent;
    DataSet data(10);
    TSaveOutcome outcome = TSaveOutcome::Failed;
    EXPECT_TRUE(silent.SaveData(target, &data.setting, &data.buf.ch0, &outcome));
    EXPECT_EQ(outcome, TSaveOutcome::Declined);
    EXPECT_EQ(ReadBytes(target), oldBytes);

    silent.SetOverwriteQuestion([](const std::string&) { return true; });
    EXPECT_TRUE(silent.SaveData(target, &data.setting, &data.buf.ch0, &outcome));
    EXPECT_EQ(outcome, TSaveOutcome::Written);
    EXPECT_NE(ReadBytes(target), oldBytes);
}

TEST_F(SaveTest, AcceptedOverwriteReplacesFileAndKeepsItsPermissions)
{
    WriteBytes(target, std::string(100000, 'x')); // longer than the new file
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    DataSet data(5);
    TSaveOutcome outcome = TSaveOutcome::Failed;
    ASSERT_TRUE(file.SaveData2ch(target, &data.setting, &data.buf.ch0, &data.buf.ch1, &outcome));
    EXPECT_EQ(outcome, TSaveOutcome::Written);
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(ReadBytes(target), data.Bytes());
    EXPECT_EQ(ModeOf(target), 0640u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"run1.DTA"});
}

TEST_F(SaveTest, OverwriteThroughSymbolicLinkKeepsTheLink)
{
    const std::string real = dir.File("real.DTA");
    WriteBytes(real, oldBytes);
    ASSERT_EQ(::symlink(real.c_str(), target.c_str()), 0);
    DataSet data(4);
    ASSERT_TRUE(file.SaveData2ch(target, &data.setting, &data.buf.ch0, &data.buf.ch1));
    struct stat st {};
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadBytes(real), data.Bytes());
}

// ---------------------------------------------------------------- failures

TEST_F(SaveTest, MissingArgumentsFail)
{
    DataSet data(2);
    TSaveOutcome outcome = TSaveOutcome::Written;
    EXPECT_FALSE(file.SaveData("", &data.setting, &data.buf.ch0, &outcome));
    EXPECT_EQ(outcome, TSaveOutcome::Failed);
    EXPECT_FALSE(file.SaveData(target, nullptr, &data.buf.ch0));
    EXPECT_FALSE(file.SaveData(target, &data.setting, nullptr));
    EXPECT_FALSE(file.SaveData2ch(target, &data.setting, &data.buf.ch0, nullptr));
    data.buf.ch0.Count = CHANNEL_CAPACITY + 1;
    EXPECT_FALSE(file.SaveData(target, &data.setting, &data.buf.ch0, &outcome));
    EXPECT_EQ(outcome, TSaveOutcome::Failed);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(SaveTest, DirectoryAsTargetFailsWithoutQuestion)
{
    DataSet data(2);
    TSaveOutcome outcome = TSaveOutcome::Written;
    EXPECT_FALSE(file.SaveData(dir.Path(), &data.setting, &data.buf.ch0, &outcome));
    EXPECT_EQ(outcome, TSaveOutcome::Failed);
    EXPECT_TRUE(questions.empty());
}

TEST_F(SaveTest, FolderReplacedByFileFails)
{
    const std::string notDir = dir.File("data");
    WriteBytes(notDir, oldBytes);
    DataSet data(2);
    TSaveOutcome outcome = TSaveOutcome::Written;
    EXPECT_FALSE(file.SaveData2ch(notDir + "/run1.DTA", &data.setting, &data.buf.ch0, &data.buf.ch1,
                                  &outcome));
    EXPECT_EQ(outcome, TSaveOutcome::Failed);
    EXPECT_EQ(ReadBytes(notDir), oldBytes);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"data"});
}

TEST_F(SaveTest, FileSystemRefusingNewFilesFails)
{
    // Nobody, root included, can create a plain file at the top of /proc.
    DataSet data(2);
    EXPECT_FALSE(
        file.SaveData2ch("/proc/mirantos-test.DTA", &data.setting, &data.buf.ch0, &data.buf.ch1));
}

// A write that runs out of room (here: the file size limit, which stops root too)
// must not touch the old file and must not leave the half-written one behind.
TEST_F(SaveTest, FullDiskLeavesOldFileIntactAndNoTemporary)
{
    WriteBytes(target, oldBytes);
    DataSet data(CHANNEL_CAPACITY);
    rlimit oldLimit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = oldLimit;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    TSaveOutcome outcome = TSaveOutcome::Written;
    const bool ok = file.SaveData2ch(target, &data.setting, &data.buf.ch0, &data.buf.ch1, &outcome);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(outcome, TSaveOutcome::Failed);
    EXPECT_EQ(ReadBytes(target), oldBytes);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"run1.DTA"});
}

TEST_F(SaveTest, FullDiskWithoutOldFileLeavesNothing)
{
    DataSet data(CHANNEL_CAPACITY);
    rlimit oldLimit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = oldLimit;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool ok = file.SaveData2ch(target, &data.setting, &data.buf.ch0, &data.buf.ch1);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(ok);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(SaveTest, ReadOnlyFolderLeavesOldFileIntact)
{
    WriteBytes(target, oldBytes);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0555), 0);
    DataSet data(10);
    TSaveOutcome outcome = TSaveOutcome::Written;
    // Root passes every permission check; an unprivileged file-system id for
    // this thread makes the folder really read-only for the save.
    const int savedFsuid = ::setfsuid(65534);
    const bool ok = file.SaveData2ch(target, &data.setting, &data.buf.ch0, &data.buf.ch1, &outcome);
    ::setfsuid(savedFsuid);
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_FALSE(ok);
    EXPECT_EQ(outcome, TSaveOutcome::Failed);
    EXPECT_EQ(ReadBytes(target), oldBytes);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"run1.DTA"});
}

TEST_F(SaveTest, FileTheUserMayNotWriteIsLeftAloneEvenInAWritableFolder)
{
    // The folder would allow the rename; only the files' own permissions differ.
    WriteBytes(target, oldBytes);
    ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
    const std::string writable = dir.File("run2.DTA");
    WriteBytes(writable, oldBytes);
    ASSERT_EQ(::chmod(writable.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
    DataSet data(10);
    TSaveOutcome outcome = TSaveOutcome::Written;
    TSaveOutcome writableOutcome = TSaveOutcome::Failed;
    const int savedFsuid = ::setfsuid(65534);
    const bool ok = file.SaveData2ch(target, &data.setting, &data.buf.ch0, &data.buf.ch1, &outcome);
    const std::string error = file.Error();
    const bool writableOk =
        file.SaveData2ch(writable, &data.setting, &data.buf.ch0, &data.buf.ch1, &writableOutcome);
    ::setfsuid(savedFsuid);
    ::chmod(dir.Path().c_str(), 0755);

    // The file with no write bit is refused before its question; only the other is asked about.
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(error, target + " is read-only");
    EXPECT_FALSE(ok);
    EXPECT_EQ(outcome, TSaveOutcome::Failed);
    EXPECT_EQ(ReadBytes(target), oldBytes);
    EXPECT_EQ(ModeOf(target), 0444u);
    EXPECT_TRUE(writableOk);
    EXPECT_EQ(writableOutcome, TSaveOutcome::Written);
    EXPECT_EQ(ReadBytes(writable), data.Bytes());
    std::vector<std::string> entries = dir.Entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"run1.DTA", "run2.DTA"}));
}

} // namespace
