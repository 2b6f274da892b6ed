// Missing and unreadable settings files both load the defaults, but only a
// missing one may be written over: an unreadable one still holds every name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "persistence/settings_file.h"
#include "platform/files.h"
#include "scratch_dir.h"
#include "settings_example.h"

namespace persistence {
namespace {

namespace fs = std::filesystem;

using SettingsSourceOnDisk = ScratchDir;

SettingsRecord Loaded(SettingsSource expected) {
    SettingsRecord record = ExampleSettingsRecord();
    EXPECT_EQ(ReadSettingsFile(SettingsFileName, record), expected);
    return record;
}

TEST_F(SettingsSourceOnDisk, TellsAReadFileAMissingOneAndOneThereButNotRead) {
    EXPECT_EQ(Loaded(SettingsSource::Missing), SettingsRecord{});
    WriteBytes(SettingsFileName, exampleSettingsFile);
    EXPECT_EQ(Loaded(SettingsSource::Read), ExampleSettingsRecord());

    // Beyond what the reader takes; sparse, so it costs no disk.
    fs::resize_file(SettingsFileName, platform::maxReadBytes + 1);
    EXPECT_EQ(Loaded(SettingsSource::Unreadable), SettingsRecord{});
    fs::remove(SettingsFileName);
    ASSERT_TRUE(fs::create_directory(SettingsFileName));
    EXPECT_EQ(Loaded(SettingsSource::Unreadable), SettingsRecord{});
}

}  // namespace
}  // namespace persistence
