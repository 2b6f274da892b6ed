// The operating system's serial port, on pseudo-terminals made by the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "onewire/link.h"
#include "onewire/status.h"
#include "platform/serial_port.h"
#include "pty_support.h"

namespace onewire_test {
namespace {

const platform::SerialPortOps& ops() {
    return platform::SystemSerialPort();
}

// The master side of a pseudo-terminal; the slave is the port under test.
class PtyPair {
  public:
    PtyPair() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slave_ = ptsname(master_);
    }
    ~PtyPair() {
        if (master_ >= 0) close(master_);
    }
    int master() const { return master_; }
    const std::string& slave() const { return slave_; }
    speed_t slaveSpeed() const {
        termios tio{};
        tcgetattr(master_, &tio);
        return cfgetospeed(&tio);
    }

  private:
    int master_ = -1;
    std::string slave_;
};

struct PortGuard {
    platform::SerialPort* port;
    ~PortGuard() {
        if (port != nullptr) ops().close(port);
    }
};

TEST(SerialPortPosix, SpeedChangesReachTheTerminalSettings) {
    PtyPair pty;
    ASSERT_FALSE(pty.slave().empty());
    PortGuard guard{ops().open(pty.slave())};
    ASSERT_NE(guard.port, nullptr);
    EXPECT_EQ(pty.slaveSpeed(), B115200);
    ASSERT_TRUE(ops().setSpeed(guard.port, 9600));
    EXPECT_EQ(pty.slaveSpeed(), B9600);
    ASSERT_TRUE(ops().setSpeed(guard.port, 115200));
    EXPECT_EQ(pty.slaveSpeed(), B115200);
    EXPECT_FALSE(ops().setSpeed(guard.port, 12345));
    // A pseudo-terminal has no modem lines; driving them is no failure.
    ops().setLines(guard.port, true, true);
    ops().setLines(guard.port, false, false);
    EXPECT_TRUE(ops().setSpeed(guard.port, 115200));
}

TEST(SerialPortPosix, BytesTravelRawBothWays) {
    PtyPair pty;
    PortGuard guard{ops().open(pty.slave())};
    ASSERT_NE(guard.port, nullptr);
    // Bytes a cooked terminal would translate or act on.
    const std::uint8_t sent[] = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x00, 0xFF, 0x7F};
    ASSERT_EQ(ops().write(guard.port, sent, 8), 8);
    std::uint8_t atMaster[8]{};
    std::size_t got = 0;
    while (got < 8) {
        const ssize_t n = read(pty.master(), atMaster + got, 8 - got);
        ASSERT_GT(n, 0);
        got += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(0, std::memcmp(sent, atMaster, 8));

    ASSERT_EQ(write(pty.master(), sent, 8), 8);
    ops().waitInput(guard.port, 8, 5000);
    ASSERT_EQ(ops().inputWaiting(guard.port), 8);
    std::uint8_t back[8]{};
    ASSERT_EQ(ops().read(guard.port, back, 8), 8);
    EXPECT_EQ(0, std::memcmp(sent, back, 8));
    EXPECT_EQ(ops().inputWaiting(guard.port), 0);
}

// Processor time spent in a wait of `ms`; a wait that polls in a loop would
// spend about all of it.
std::chrono::microseconds cpuTimeOfWait(platform::SerialPort* port, std::int32_t bytes,
                                        std::uint32_t ms) {
    timespec before{};
    timespec after{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    const auto start = std::chrono::steady_clock::now();
    ops().waitInput(port, bytes, ms);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(ms));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    return std::chrono::microseconds((after.tv_sec - before.tv_sec) * 1000000 +
                                     (after.tv_nsec - before.tv_nsec) / 1000);
}

TEST(SerialPortPosix, WaitsLastTheirTimeOutWithoutSpinning) {
    PtyPair pty;
    PortGuard guard{ops().open(pty.slave())};
    ASSERT_NE(guard.port, nullptr);
    EXPECT_LT(cpuTimeOfWait(guard.port, 1, 60), std::chrono::milliseconds(30));
    // Part of a block already there, the rest never coming.
    const std::uint8_t some[3] = {1, 2, 3};
    ASSERT_EQ(write(pty.master(), some, 3), 3);
    EXPECT_LT(cpuTimeOfWait(guard.port, 8, 60), std::chrono::milliseconds(30));
    EXPECT_EQ(ops().inputWaiting(guard.port), 3);
}

TEST(SerialPortPosix, AHungUpPortFailsQuietly) {
    auto pty = std::make_unique<PtyPair>();
    PortGuard guard{ops().open(pty->slave())};
    ASSERT_NE(guard.port, nullptr);
    EXPECT_FALSE(ops().lost(guard.port));
    pty.reset();  // the other side is gone, as with a simulator that ended
    EXPECT_LT(cpuTimeOfWait(guard.port, 1, 60), std::chrono::milliseconds(30));
    EXPECT_EQ(ops().inputWaiting(guard.port), 0);
    const std::uint8_t byte = 0xF0;
    EXPECT_LT(ops().write(guard.port, &byte, 1), 1);
    EXPECT_TRUE(ops().lost(guard.port));
}

TEST(SerialPortPosix, APortOpensOnlyOnceAtATime) {
    PtyPair pty;
    platform::SerialPort* first = ops().open(pty.slave());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(platform::LastPortOpenFailure(), platform::PortOpenFailure::None);
    EXPECT_EQ(ops().open(pty.slave()), nullptr);
    EXPECT_EQ(platform::LastPortOpenFailure(), platform::PortOpenFailure::Busy);
    ops().close(first);
    PortGuard again{ops().open(pty.slave())};
    EXPECT_NE(again.port, nullptr);
    EXPECT_EQ(platform::LastPortOpenFailure(), platform::PortOpenFailure::None);
}

TEST(SerialPortPosix, ComNamesOpenTheEntryInTheWorkingDirectory) {
    PtyPair pty;
    ScratchDir dir;
    ASSERT_EQ(symlink(pty.slave().c_str(), (dir.path() + "/COM7").c_str()), 0);
    ASSERT_EQ(symlink((dir.path() + "/nothing").c_str(), (dir.path() + "/COM8").c_str()), 0);
    WorkingDirectory cwd(dir.path());
    for (const char* name : {"COM7", "com7", "Com7"}) {
        PortGuard guard{ops().open(name)};
        EXPECT_NE(guard.port, nullptr) << name;
    }
    // A dangling link fails rather than falling back to /dev/ttyS7.
    PortGuard dangling{ops().open("COM8")};
    EXPECT_EQ(dangling.port, nullptr);
    EXPECT_EQ(platform::LastPortOpenFailure(), platform::PortOpenFailure::NotFound);
    PortGuard badNumber{ops().open("COM0")};
    EXPECT_EQ(badNumber.port, nullptr);
}

// A udev rule or a script recreating the link leaves COMn missing for a
// moment; falling back to /dev/ttyS(n-1) then would keep the bus on another
// device for good. The first open of a name still follows today's rule.
TEST(SerialPortPosix, PortThatCameThroughItsEntryComesBackOnlyThroughIt) {
    PtyPair before;
    ScratchDir dir;
    WorkingDirectory cwd(dir.path());
    ASSERT_EQ(symlink(before.slave().c_str(), "COM1"), 0);
    platform::SerialPort* first = ops().open("COM1");
    ASSERT_NE(first, nullptr);
    ops().close(first);

    ASSERT_EQ(unlink("COM1"), 0);
    // /dev/ttyS0, where a fresh choice of COM1 leads, is there on most PCs.
    for (int attempt = 0; attempt < 2; ++attempt) {
        PortGuard missing{ops().reopen("com1")};
        EXPECT_EQ(missing.port, nullptr);
        EXPECT_EQ(platform::LastPortOpenFailure(), platform::PortOpenFailure::NotFound);
    }
    // The same through the link layer, which the monitor's recovery uses.
    EXPECT_FALSE(onewire::reopenPort("COM1"));
    EXPECT_EQ(onewire::lastStatus(), onewire::NoPort);

    PtyPair after;
    ASSERT_EQ(symlink(after.slave().c_str(), "COM1"), 0);
    PortGuard back{ops().reopen("COM1")};
    ASSERT_NE(back.port, nullptr);
    const std::uint8_t sent[] = {0x5A};
    ASSERT_EQ(ops().write(back.port, sent, 1), 1);
    std::uint8_t atMaster = 0;
    ASSERT_EQ(read(after.master(), &atMaster, 1), 1);
    EXPECT_EQ(atMaster, 0x5A);
}

TEST(SerialPortPosix, NamesAreCutTo59Characters) {
    PtyPair pty;
    ScratchDir dir;
    std::string path = dir.path() + "/";
    path.append(59 - path.size(), 'p');
    ASSERT_EQ(path.size(), 59u);
    ASSERT_EQ(symlink(pty.slave().c_str(), path.c_str()), 0);
    PortGuard guard{ops().open(path + "-beyond-the-limit")};
    EXPECT_NE(guard.port, nullptr);
}

TEST(SerialPortPosix, WhatIsNoTerminalDoesNotOpen) {
    ScratchDir dir;
    const std::string file = dir.path() + "/plain";
    const int fd = open(file.c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    EXPECT_EQ(ops().open(file), nullptr);
    EXPECT_EQ(platform::LastPortOpenFailure(), platform::PortOpenFailure::Other);
    EXPECT_EQ(ops().open(dir.path() + "/missing"), nullptr);
    EXPECT_EQ(platform::LastPortOpenFailure(), platform::PortOpenFailure::NotFound);
}

}  // namespace
}  // namespace onewire_test
