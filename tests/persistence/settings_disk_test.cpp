#include <gtest/gtest.h>

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

TEST_F(SettingsOnDisk, MissingFileGivesDefaults) {
    EXPECT_EQ(ReadSettingsFile(SettingsFileName), SettingsRecord{});
}

TEST_F(SettingsOnDisk, SaveWritesTheExactTextAndLoadsItBack) {
    WriteBytes(SettingsFileName, oldContent);
    ASSERT_TRUE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_EQ(ReadBytes(SettingsFileName), exampleSettingsFile);
    EXPECT_EQ(ReadSettingsFile(SettingsFileName), ExampleSettingsRecord());
    EXPECT_EQ(EntryCount(), 1);  // no temporary file left beside it
}

TEST_F(SettingsOnDisk, ReadOnlyFileIsReadButNeverReplaced) {
    WriteBytes(SettingsFileName, oldContent);
    // No write bit at all (on Windows: the read-only mark): refused even for
    // the superuser, whom the bits do not stop.
    const auto writeBits = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(SettingsFileName, writeBits, fs::perm_options::remove);
    const fs::perms readOnly = fs::status(SettingsFileName).permissions();
    EXPECT_EQ(ReadSettingsFile(SettingsFileName).interval, 7);
    EXPECT_FALSE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_EQ(ReadBytes(SettingsFileName), oldContent);
    EXPECT_EQ(fs::status(SettingsFileName).permissions(), readOnly);
    EXPECT_EQ(EntryCount(), 1);
    // Windows refuses to delete a read-only file, and the folder must go.
    fs::permissions(SettingsFileName, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(SettingsOnDisk, DirectoryUnderTheNameIsLeftAlone) {
    ASSERT_TRUE(fs::create_directory(SettingsFileName));
    EXPECT_FALSE(WriteSettingsFile(SettingsFileName, ExampleSettingsRecord()));
    EXPECT_TRUE(fs::is_directory(SettingsFileName));
    EXPECT_EQ(ReadSettingsFile(SettingsFileName), SettingsRecord{});
}

}  // namespace
}  // namespace persistence
