#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "persistence/settings_file.h"
#include "scratch_dir.h"
#include "settings_example.h"

namespace persistence {
namespace {

namespace fs = std::filesystem;

using SettingsOnDisk = ScratchDir;

const std::string oldContent = "\xEF\xBB\xBF\r\nInterval = 7\r\n";

unsigned modeOf(const char* path) {
    struct stat info {};
    EXPECT_EQ(::stat(path, &info), 0);
    return info.st_mode & 07777u;
}

TEST_F(SettingsOnDisk, MissingFileGivesDefaults) {
    EXPECT_EQ(ReadSettingsFile(SettingsFileName), SettingsRecord{});
}

TEST_F(SettingsOnDisk, FifoUnderTheNameCountsAsMissingInsteadOfHanging) {
    ASSERT_EQ(::mkfifo(SettingsFileName, 0644), 0);
    EXPECT_EQ(ReadSettingsFile(SettingsFileName), SettingsRecord{});
}

TEST_F(SettingsOnDisk, SaveWritesTheExactTextAndLoadsItBack) {
    WriteBytes(SettingsFileName, oldContent);
    ASSERT_TRUE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_EQ(ReadBytes(SettingsFileName), exampleSettingsFile);
    EXPECT_EQ(ReadSettingsFile(SettingsFileName), ExampleSettingsRecord());
    EXPECT_EQ(EntryCount(), 1);  // no temporary file left beside it
}

TEST_F(SettingsOnDisk, SaveKeepsTheFilePermissions) {
    WriteBytes(SettingsFileName, oldContent);
    ASSERT_EQ(::chmod(SettingsFileName, 0640), 0);
    ASSERT_TRUE(WriteSettingsFile(SettingsFileName, SettingsRecord{}));
    EXPECT_EQ(modeOf(SettingsFileName), 0640u);
}

TEST_F(SettingsOnDisk, ReadOnlyFileIsReadButNeverReplaced) {
    WriteBytes(SettingsFileName, oldContent);
    // No write bit at all: refused even for the superuser, whom the bits do not stop.
    ASSERT_EQ(::chmod(SettingsFileName, 0444), 0);
    EXPECT_EQ(ReadSettingsFile(SettingsFileName).interval, 7);
    EXPECT_FALSE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_EQ(ReadBytes(SettingsFileName), oldContent);
    EXPECT_EQ(modeOf(SettingsFileName), 0444u);
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(SettingsOnDisk, DirectoryUnderTheNameIsLeftAlone) {
    ASSERT_TRUE(fs::create_directory(SettingsFileName));
    EXPECT_FALSE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_TRUE(fs::is_directory(SettingsFileName));
    EXPECT_EQ(ReadSettingsFile(SettingsFileName), SettingsRecord{});
}

// Lowers the largest file this process may write, so that a write fails part
// way through whatever the user's rights; restores the limit afterwards.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);  // fail with EFBIG, not a signal
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

TEST_F(SettingsOnDisk, WriteFailingPartWayKeepsTheOldFileWhole) {
    WriteBytes(SettingsFileName, oldContent);
    {
        const FileSizeLimit limit(40);
        EXPECT_FALSE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    }
    EXPECT_EQ(ReadBytes(SettingsFileName), oldContent);
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(SettingsOnDisk, SymbolicLinkStaysALinkAndItsTargetIsReplaced) {
    ASSERT_TRUE(fs::create_directory("real"));
    WriteBytes("real/settings.ini", oldContent);
    fs::create_symlink("real/settings.ini", SettingsFileName);
    ASSERT_TRUE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_TRUE(fs::is_symlink(SettingsFileName));
    EXPECT_EQ(fs::read_symlink(SettingsFileName), "real/settings.ini");
    EXPECT_EQ(ReadBytes("real/settings.ini"), exampleSettingsFile);
    EXPECT_EQ(std::distance(fs::directory_iterator("real"), fs::directory_iterator()), 1);
}

TEST_F(SettingsOnDisk, ChainOfRelativeLinksIsFollowedToTheFile) {
    ASSERT_TRUE(fs::create_directories("a/b"));
    fs::create_symlink("b/target.ini", "a/hop.ini");  // relative to the link's own folder
    fs::create_symlink("a/hop.ini", SettingsFileName);
    ASSERT_TRUE(WriteSettingsFile(SettingsFileName, SettingsRecord{}));
    EXPECT_TRUE(fs::is_symlink("a/hop.ini"));
    EXPECT_EQ(ReadBytes("a/b/target.ini"), FormatSettings(SettingsRecord{}));
}

TEST_F(SettingsOnDisk, LinkIntoAMissingFolderFailsAndStays) {
    fs::create_symlink("missing/settings.ini", SettingsFileName);
    EXPECT_FALSE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_TRUE(fs::is_symlink(SettingsFileName));
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(SettingsOnDisk, LoopOfLinksFails) {
    fs::create_symlink("other.ini", SettingsFileName);
    fs::create_symlink(SettingsFileName, "other.ini");
    EXPECT_FALSE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_TRUE(fs::is_symlink(SettingsFileName));
    EXPECT_EQ(EntryCount(), 2);
}

}  // namespace
}  // namespace persistence
