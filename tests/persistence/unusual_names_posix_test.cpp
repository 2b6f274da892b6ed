// The settings file's and the log's names holding what only POSIX systems
// make easily: FIFOs, links that lead nowhere, and permission bits that the
// superuser would pass.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "persistence/event_log.h"
#include "persistence/settings_file.h"
#include "scratch_dir.h"

namespace persistence {
namespace {

class UnusualNames : public ScratchDir {
  protected:
    void TearDown() override {
        CloseLog();
        ScratchDir::TearDown();
    }
};

TEST_F(UnusualNames, SettingsFifoIsThereButUnreadableAndALinkToNothingIsMissing) {
    SettingsRecord record;
    ASSERT_EQ(::mkfifo(SettingsFileName, 0644), 0);  // must not hang the reader either
    EXPECT_EQ(ReadSettingsFile(SettingsFileName, record), SettingsSource::Unreadable);
    ASSERT_EQ(::unlink(SettingsFileName), 0);
    std::filesystem::create_symlink("nowhere.ini", SettingsFileName);
    EXPECT_EQ(ReadSettingsFile(SettingsFileName, record), SettingsSource::Missing);
}

// A FIFO would take lines until its buffer fills and then block the monitor
// thread for good; a device could be acted on by the opening itself.
TEST_F(UnusualNames, LogFifoIsNeverOpenedOrWritten) {
    ASSERT_EQ(::mkfifo(LogFileName, 0644), 0);
    WriteLogLine("into the pipe");
    WriteLogLine("again");
    const int reader = ::open(LogFileName, O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0);  // nothing was ever written into it
    ::close(reader);
}

// The superuser may write any file, but a log its owner made read-only (to
// keep a record as it is) must stay as it is; as another user the system
// refuses it anyway.
TEST_F(UnusualNames, LogMadeReadOnlyIsNotAppendedToEvenBySuperuser) {
    const std::string kept = "\xEF\xBB\xBF[01/01/2026 00:00:00]  kept\r\n";
    WriteBytes(LogFileName, kept);
    ASSERT_EQ(::chmod(LogFileName, 0444), 0);
    WriteLogLine("not to be added");
    CloseLog();
    EXPECT_EQ(ReadBytes(LogFileName), kept);

    // Nor is a new log made in a folder that was made read-only.
    ASSERT_EQ(::unlink(LogFileName), 0);
    ASSERT_EQ(::chmod(".", 0500), 0);
    WriteLogLine("nowhere either");
    CloseLog();
    ASSERT_EQ(::chmod(".", 0700), 0);
    EXPECT_FALSE(std::filesystem::exists(LogFileName));
}

}  // namespace
}  // namespace persistence
