// Where the program keeps its files, and one instance per user folder.
#include "shell/files_place.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>
#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/window/window.h"
#include "platform/window/window_testing.h"
#include "shell/main_window.h"
#include "shell/settings_io.h"
#include "shell/shell_state.h"
#include "shell_fixture.h"

namespace shell_test {
namespace {

using platform::FilesFolderFacts;

using platform::FolderAccess;

struct PlaceCase {
    const char* what;
    FilesFolderFacts facts;
    FolderAccess userFolder;
    shell::FilesPlace expected;
};

class FilesPlaceChoice : public ::testing::TestWithParam<PlaceCase> {};

TEST_P(FilesPlaceChoice, FollowsWhereTheProgramLies) {
    const PlaceCase& c = GetParam();
    const shell::FilesPlace place = shell::ChooseFilesPlace(c.facts, c.userFolder);
    EXPECT_EQ(place.folder, c.expected.folder) << c.what;
    EXPECT_EQ(place.presetFile, c.expected.presetFile) << c.what;
    EXPECT_EQ(place.installed, c.expected.installed) << c.what;
    EXPECT_EQ(place.userFolder, c.expected.userFolder) << c.what;
    EXPECT_EQ(place.readOnly, c.expected.readOnly) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FilesPlaceChoice,
    ::testing::Values(
        PlaceCase{"build folder",
                  {"/src/k/build", true, "/usr/bin", "", "/home/u", ""},
                  FolderAccess::Writable,
                  {"/src/k/build", "", false, false, false}},
        PlaceCase{"read-only folder",
                  {"/opt/k", false, "/usr/bin", "", "/home/u", ""},
                  FolderAccess::Writable,
                  {"/home/u/.config/kelvarian", "/opt/k/Kelvarian.ini", true, true, false}},
        PlaceCase{"install prefix, as root (the folder is writable)",
                  {"/usr/bin", true, "/usr/bin/", "", "/root", ""},
                  FolderAccess::Writable,
                  {"/root/.config/kelvarian", "/usr/bin/Kelvarian.ini", true, true, false}},
        PlaceCase{"XDG_CONFIG_HOME wins over HOME",
                  {"/usr/bin", true, "/usr/bin", "/cfg/", "/home/u", ""},
                  FolderAccess::Writable,
                  {"/cfg/kelvarian", "/usr/bin/Kelvarian.ini", true, true, false}},
        PlaceCase{"a relative XDG_CONFIG_HOME counts as unset",
                  {"/usr/bin", true, "/usr/bin", "cfg", "/home/u", ""},
                  FolderAccess::Writable,
                  {"/home/u/.config/kelvarian", "/usr/bin/Kelvarian.ini", true, true, false}},
        PlaceCase{"the user's folder may not be written: still the user's, read, never saved",
                  {"/usr/bin", false, "/usr/bin", "", "/home/u", ""},
                  FolderAccess::ReadOnly,
                  {"/home/u/.config/kelvarian", "/usr/bin/Kelvarian.ini", true, true, true}},
        PlaceCase{"no user folder and nothing writable: beside the program, never saved",
                  {"/usr/bin", false, "/usr/bin", "", "/home/u", ""},
                  FolderAccess::Unusable,
                  {"/usr/bin", "", true, false, true}},
        PlaceCase{"no home and nothing writable: the same",
                  {"/opt/k", false, "/usr/bin", "", "", ""},
                  FolderAccess::Writable,
                  {"/opt/k", "", true, false, true}},
        PlaceCase{"no home at all, or a relative one",
                  {"/usr/bin", true, "/usr/bin", "", "home", ""},
                  FolderAccess::Writable,
                  {"/usr/bin", "", true, false, false}},
        PlaceCase{"the system's own user folder (Windows) wins",
                  {"C:\\Users\\u\\AppData\\Local\\Programs\\Kelvarian", true,
                   "C:\\Users\\u\\AppData\\Local\\Programs\\Kelvarian", "", "",
                   "C:\\Users\\u\\AppData\\Roaming\\Kelvarian"},
                  FolderAccess::Writable,
                  {"C:\\Users\\u\\AppData\\Roaming\\Kelvarian",
                   "C:\\Users\\u\\AppData\\Local\\Programs\\Kelvarian/Kelvarian.ini", true, true,
                   false}},
        PlaceCase{"a portable copy on Windows keeps beside itself",
                  {"D:\\Kelvarian", true, "", "", "", "C:\\Users\\u\\AppData\\Roaming\\Kelvarian"},
                  FolderAccess::Writable,
                  {"D:\\Kelvarian", "", false, false, false}}));

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

#ifndef _WIN32
int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<std::string> EntriesOf(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Starting with the defaults instead would lose the user's port and sensors,
// and the first save would put the defaults in their place.
TEST_F(ShellTest, UserFolderThatMayNotBeWrittenIsStillReadAndNeverWritten) {
    const std::string user = directory + "/kelvarian";
    ASSERT_TRUE(std::filesystem::create_directory(user));
    const std::string stored = "\xEF\xBB\xBF\r\nInterval = 7\r\n[Sensors]\r\nCount = 1\r\n" +
                               StoredSensorLines(1, 0x42, "Котёл") + "\r\n";
    std::ofstream(user + "/Kelvarian.ini", std::ios::binary) << stored;
    ASSERT_EQ(::chmod(user.c_str(), 0500), 0);
    // Read-only for the superuser as well: the user marked it so.
    const platform::FolderAccess access = platform::MakeFolder(user);
    EXPECT_EQ(access, platform::FolderAccess::ReadOnly);

    const FilesFolderFacts facts{"/usr/bin", false, "/usr/bin", directory, "", ""};
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(shell::EnterFilesPlace(shell::ChooseFilesPlace(facts, access), false));
    Start();
    shell::SaveSettings();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(Occurrences(said, "will not be saved"), 1) << said;

    EXPECT_EQ(platform::SpinValue(shell::IntervalSpin), 7);
    ASSERT_EQ(shell::State().sensors.size(), 1u);
    EXPECT_EQ(shell::State().sensors[0].cells[monitor::Name].text, "Котёл");
    ASSERT_EQ(::chmod(user.c_str(), 0700), 0);
    EXPECT_EQ(EntriesOf(user), std::vector<std::string>{"Kelvarian.ini"});  // no lock, no save
    std::ifstream file(user + "/Kelvarian.ini", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), stored);
}

// Whatever else lies under the lock's name takes no lock, and running
// without one would let a second instance overwrite this one's saves.
TEST_F(ShellTest, LockThatIsNoRegularFileStopsTheStart) {
    const std::string lockFile = directory + "/plain";
    std::ofstream(lockFile) << "";
    const std::vector<std::pair<const char*, std::function<int(const std::string&)>>> kinds{
        {"folder", [](const std::string& path) { return ::mkdir(path.c_str(), 0700); }},
        {"FIFO", [](const std::string& path) { return ::mkfifo(path.c_str(), 0600); }},
        {"link to a file",
         [&lockFile](const std::string& path) {
             return ::symlink(lockFile.c_str(), path.c_str());
         }},
    };
    for (const auto& [what, make] : kinds) {
        const std::string folder = directory + "/" + what;
        ASSERT_TRUE(std::filesystem::create_directory(folder));
        ASSERT_EQ(make(folder + "/" + shell::SettingsLockFileName), 0) << what;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(shell::EnterFilesPlace({folder, "", true, true}, false)) << what;
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(folder + "/Kelvarian.lock is not a regular file"), std::string::npos)
            << what << ": " << said;
    }
}

// The id of a process that has ended.
std::string EndedProcessId() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return std::to_string(child);
}

TEST_F(ShellTest, StartRemovesWhatKilledSavesLeftAndNothingElse) {
    const std::string ended = EndedProcessId();
    const std::string running = std::to_string(::getpid());  // another instance mid-save
    const std::string left = "Kelvarian.ini.tmp" + ended + "_0";
    for (const std::string& name : std::vector<std::string>{
             left, "Kelvarian.ini.tmp" + ended + "_17", "Kelvarian.ini.tmp" + running + "_3",
             "Kelvarian.ini.tmp" + ended + "_x", "Kelvarian.ini.tmp", "Kelvarian.ini.tmp_0",
             "Other.ini.tmp" + ended + "_0", "Kelvarian.ini"}) {
        std::ofstream(name) << "kept?";
    }
    ASSERT_TRUE(std::filesystem::create_directory("Kelvarian.ini.tmp" + ended + "_5"));
    Start();
    std::vector<std::string> expected{"Kelvarian.ini",
                                      "Kelvarian.ini.tmp",
                                      "Kelvarian.ini.tmp" + ended + "_5",
                                      "Kelvarian.ini.tmp" + ended + "_x",
                                      "Kelvarian.ini.tmp" + running + "_3",
                                      "Kelvarian.ini.tmp_0",
                                      "Other.ini.tmp" + ended + "_0"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(EntriesOf(directory), expected);
}
#endif

}  // namespace
}  // namespace shell_test
