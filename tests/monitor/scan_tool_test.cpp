// kelvarian-scan against kelvarian-sim: its lines and exit codes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "busmodel/rom_tools.h"
#include "monitor/sensor_table.h"
#include "pty_support.h"
#include "test_support.h"

namespace {

struct ScanResult {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string errors;
};

// `asUser`: a prefix that runs the scan as another user (the output files are
// still opened by the calling user's shell).
ScanResult runScan(const std::string& dir, const std::string& port,
                   const std::string& asUser = "") {
    const std::string command = "cd '" + dir + "' && " + asUser + "'" KELVARIAN_SCAN_PATH "' '" +
                                port + "' >scan.out 2>scan.err";
    const int status = std::system(command.c_str());
    ScanResult result;
    if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    std::istringstream out(monitor_test::ReadFile(dir + "/scan.out"));
    for (std::string line; std::getline(out, line);) result.lines.push_back(line);
    result.errors = monitor_test::ReadFile(dir + "/scan.err");
    return result;
}

std::string romText(std::uint8_t family, std::uint64_t serial) {
    return monitor::FormatRomCode(busmodel::MakeRomCode(family, serial));
}

TEST(ScanTool, ListsEveryDeviceWithItsReadingOnEitherAdapter) {
    for (const char* adapter : {"passive", "ds2480b"}) {
        SCOPED_TRACE(adapter);
        onewire_test::ScratchDir dir;
        onewire_test::SimProcess sim({"--adapter", adapter,
                                      "--link",    dir.path() + "/COM1",
                                      "--device",  "28-00000B013C5A,raw=401",
                                      "--device",  "10:77,raw=-1,power=parasite",
                                      "--device",  "28:1234,corrupt-scratchpad",
                                      "--device",  "28:4321,raw=2033",
                                      "--device",  "28-000000005678-00,temp=20",
                                      "--device",  "01:55",
                                      "--device",  "22:2222,raw=-168,power=parasite",
                                      "--device",  "42:4242,raw=401",
                                      "--device",  "3B:3333"});
        ASSERT_TRUE(sim.started());
        const ScanResult scan = runScan(dir.path(), "COM1");
        EXPECT_EQ(scan.exitCode, 0) << scan.errors;
        EXPECT_EQ(scan.errors,
                  std::string(adapter) == "passive" ? "adapter: passive\n" : "adapter: DS2480B\n");
        std::vector<std::string> expected{
            "28-00000B013C5A-14\tDS18B20\t3 вывода\t25.1 °C",
            romText(0x10, 0x77) + "\tDS1820 / DS18S20\t2 вывода ('паразитное' питание)\t-0.5 °C",
            romText(0x28, 0x1234) + "\tDS18B20\t3 вывода\tОшибка CRC",
            romText(0x28, 0x4321) + "\tDS18B20\t3 вывода\t127.1 °C",
            "28-000000005678-00  ОШИБКА CRC\tDS18B20\t3 вывода\t20.0 °C",
            romText(0x01, 0x55) + "\tНеизвестное устройство\t\t",
            // The DS18B20's sisters read in its 1/16 degree steps.
            romText(0x22, 0x2222) + "\tDS1822\t2 вывода ('паразитное' питание)\t-10.5 °C",
            romText(0x42, 0x4242) + "\tDS28EA00\t3 вывода\t25.1 °C",
            romText(0x3B, 0x3333) + "\tНеизвестное устройство\t\t",
        };
        std::vector<std::string> lines = scan.lines;
        std::sort(lines.begin(), lines.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(lines, expected);
    }
}

TEST(ScanTool, EmptyBusIsAnError) {
    onewire_test::ScratchDir dir;
    onewire_test::SimProcess sim({"--link", dir.path() + "/COM1"});
    ASSERT_TRUE(sim.started());
    const ScanResult scan = runScan(dir.path(), "COM1");
    EXPECT_EQ(scan.exitCode, 1);
    EXPECT_TRUE(scan.lines.empty());
    EXPECT_EQ(scan.errors, "adapter: passive\nНет ответа от '1-Wire' устройств\n");
}

TEST(ScanTool, MissingPortIsAnError) {
    onewire_test::ScratchDir dir;
    const ScanResult scan = runScan(dir.path(), dir.path() + "/no-such-tty");
    EXPECT_EQ(scan.exitCode, 1);
    EXPECT_EQ(scan.errors, "Нет открытого COM порта\n");
}

// A new user is not in the group that owns serial devices; the error says so.
TEST(ScanTool, RefusedDeviceNamesTheAccessItNeeds) {
    onewire_test::ScratchDir dir;
    const std::string device = dir.path() + "/ttyRefused";
    const int fd = open(device.c_str(), O_CREAT | O_WRONLY, 0);
    ASSERT_GE(fd, 0);
    close(fd);
    // Root opens any file; the scan then runs as nobody.
    const bool root = geteuid() == 0;
    if (root && std::system("command -v setpriv >/dev/null") != 0) {
        GTEST_SKIP() << "running as root without setpriv";
    }
    const ScanResult scan = runScan(
        dir.path(), device, root ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "");
    EXPECT_EQ(scan.exitCode, 1);
    EXPECT_EQ(scan.errors,
              "Нет открытого COM порта\nPermission denied: the user needs read and write access "
              "to the device, e.g. membership of the dialout group.\n");
}

}  // namespace
