// Where the program keeps its files, and one instance per user folder.
#include "shell/files_place.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include "platform/window/window_testing.h"
#include "shell_fixture.h"

namespace shell_test {
namespace {

using platform::FilesFolderFacts;

struct PlaceCase {
    const char* what;
    FilesFolderFacts facts;
    bool userFolderReady;
    shell::FilesPlace expected;
};

class FilesPlaceChoice : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(FilesPlaceChoice, FollowsWhereTheProgramLies) {
    const PlaceCase& c = GetParam();
    const shell::FilesPlace place = shell::ChooseFilesPlace(c.facts, c.userFolderReady);
    EXPECT_EQ(place.folder, c.expected.folder) << c.what;
    EXPECT_EQ(place.presetFile, c.expected.presetFile) << c.what;
    EXPECT_EQ(place.installed, c.expected.installed) << c.what;
    EXPECT_EQ(place.userFolder, c.expected.userFolder) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilesPlaceChoice,
    ::testing::Values(
        PlaceCase{"build folder",
                  {"/src/k/build", true, "/usr/bin", "", "/home/u", ""},
                  true,
                  {"/src/k/build", "", false, false}},
        PlaceCase{"read-only folder",
                  {"/opt/k", false, "/usr/bin", "", "/home/u", ""},
                  true,
                  {"/home/u/.config/kelvarian", "/opt/k/Kelvarian.ini", true, true}},
        PlaceCase{"install prefix, as root (the folder is writable)",
                  {"/usr/bin", true, "/usr/bin/", "", "/root", ""},
                  true,
                  {"/root/.config/kelvarian", "/usr/bin/Kelvarian.ini", true, true}},
        PlaceCase{"XDG_CONFIG_HOME wins over HOME",
                  {"/usr/bin", true, "/usr/bin", "/cfg/", "/home/u", ""},
                  true,
                  {"/cfg/kelvarian", "/usr/bin/Kelvarian.ini", true, true}},
        PlaceCase{"a relative XDG_CONFIG_HOME counts as unset",
                  {"/usr/bin", true, "/usr/bin", "cfg", "/home/u", ""},
                  true,
                  {"/home/u/.config/kelvarian", "/usr/bin/Kelvarian.ini", true, true}},
        PlaceCase{"nothing writable: beside the program as before",
                  {"/usr/bin", false, "/usr/bin", "", "/home/u", ""},
                  false,
                  {"/usr/bin", "", true, false}},
        PlaceCase{"no home at all, or a relative one",
                  {"/usr/bin", true, "/usr/bin", "", "home", ""},
                  true,
                  {"/usr/bin", "", true, false}},
        PlaceCase{"the system's own user folder (Windows) wins",
                  {"C:\\Users\\u\\AppData\\Local\\Programs\\Kelvarian", true,
                   "C:\\Users\\u\\AppData\\Local\\Programs\\Kelvarian", "", "",
                   "C:\\Users\\u\\AppData\\Roaming\\Kelvarian"},
                  true,
                  {"C:\\Users\\u\\AppData\\Roaming\\Kelvarian",
                   "C:\\Users\\u\\AppData\\Local\\Programs\\Kelvarian/Kelvarian.ini", true, true}},
        PlaceCase{"a portable copy on Windows keeps beside itself",
                  {"D:\\Kelvarian", true, "", "", "", "C:\\Users\\u\\AppData\\Roaming\\Kelvarian"},
                  true,
                  {"D:\\Kelvarian", "", false, false}}));

#ifndef _WIN32
// An environment variable as it was, given back at the end of a test.
class KeptVariable {
  public:
    explicit KeptVariable(const char* name) : name_(name) {
        if (const char* value = std::getenv(name)) value_ = value;
    }
    ~KeptVariable() {
        if (value_) {
            ::setenv(name_, value_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> value_;
};

// sudo -E keeps the user's HOME and XDG_CONFIG_HOME: a folder the superuser
// created there would be its own, and the user's later saves would fail.
TEST(FilesFolderFacts, SuperuserKeepsOutOfAnotherUsersHome) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs the superuser";
    const KeptVariable home("HOME");
    const KeptVariable configHome("XDG_CONFIG_HOME");
    char userHome[] = "/tmp/kelvarian-home-XXXXXX";
    ASSERT_NE(::mkdtemp(userHome), nullptr);
    ASSERT_EQ(::chown(userHome, 65534, 65534), 0);
    ::setenv("HOME", userHome, 1);
    ::setenv("XDG_CONFIG_HOME", (std::string(userHome) + "/.config").c_str(), 1);  // not made yet

    const FilesFolderFacts facts = platform::GatherFilesFolderFacts("/usr/bin", "/usr/bin");
    EXPECT_EQ(facts.configHome, "");
    EXPECT_EQ(facts.home, ::getpwuid(0)->pw_dir);

    // A superuser's own folder is kept as given.
    ::setenv("XDG_CONFIG_HOME", "/tmp", 1);
    EXPECT_EQ(platform::GatherFilesFolderFacts("/usr/bin", "/usr/bin").configHome, "/tmp");
    std::filesystem::remove_all(userHome);
}
#endif

#ifdef _WIN32
// A folder the setup installed into, whichever the user chose, is known by the
// setup's uninstaller beside the program; any other writable folder is a
// portable copy's. Both learn the roaming application data folder.
TEST(FilesFolderFacts, WindowsKnowsTheSetupsFolderByItsUninstaller) {
    const std::filesystem::path root = std::filesystem::temp_directory_path() / "kelvarian-setup";
    std::filesystem::remove_all(root);
    const std::filesystem::path installed = root / u8"Программы";
    const std::filesystem::path portable = root / "portable";
    std::filesystem::create_directories(installed);
    std::filesystem::create_directories(portable);
    std::ofstream(installed / "Uninstall Kelvarian.exe").put(0);

    const auto utf8 = [](const std::filesystem::path& path) {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    };
    const FilesFolderFacts setup = platform::GatherFilesFolderFacts(utf8(installed), "");
    EXPECT_EQ(setup.installBinFolder, utf8(installed));
    ASSERT_GE(setup.userFilesFolder.size(), 10u);
    EXPECT_EQ(setup.userFilesFolder.substr(setup.userFilesFolder.size() - 10), "\\Kelvarian");
    EXPECT_TRUE(shell::RunsInstalled(setup));

    const FilesFolderFacts copy = platform::GatherFilesFolderFacts(utf8(portable), "");
    EXPECT_TRUE(copy.executableFolderWritable);
    EXPECT_FALSE(shell::RunsInstalled(copy));
    // The writing test leaves nothing behind.
    EXPECT_TRUE(std::filesystem::is_empty(portable));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(installed),
                            std::filesystem::directory_iterator()),
              1);
    std::filesystem::remove_all(root);
}
#endif

// Two instances on one folder would overwrite each other's saves.
TEST_F(ShellTest, SecondInstanceOnTheUserFolderSaysSoAndStops) {
    const shell::FilesPlace userPlace{directory, "", true, true};
    ASSERT_TRUE(shell::EnterFilesPlace(userPlace, true));  // the lock is this process's now

    platform::ModalDialog box;
    platform::WhenModalOpens([&box] {
        box = platform::OpenModal();
        platform::ConfirmModal();
    });
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(shell::EnterFilesPlace(userPlace, true));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Kelvarian уже запущен с настройками в папке " + directory),
              std::string::npos)
        << said;
    EXPECT_EQ(box.kind, platform::ModalKind::MessageBox);
    EXPECT_EQ(box.text, "Kelvarian уже запущен с настройками в папке\n" + directory);

    // Without a screen to show it on, standard error is all.
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(shell::EnterFilesPlace(userPlace, false));
    EXPECT_FALSE(::testing::internal::GetCapturedStderr().empty());

    // A portable copy in the same folder is kept out too.
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(shell::EnterFilesPlace({directory, "", false, false}, false));
    ::testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace shell_test
