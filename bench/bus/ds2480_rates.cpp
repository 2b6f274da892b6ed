// Whether a DS2480B can be driven faster than 9600 baud: after its baud-rate
// command, the one-round-trip read of every thermometer (reset, Match ROM,
// the code, Read Scratchpad, nine read bytes) is sent at 9600, 19200, 57600
// and 115200 baud, once as one burst a read and once byte by byte (each
// byte's answer awaited before the next). The chip's input buffer holds one
// byte: a burst faster than its 1-Wire time loses bytes. Prints one line a
// rate for bench/bus/run.sh:
//   rate BAUD BURST_MS GOOD/N LOST PACED_MS PACED_GOOD/N BOUND_MS
// The codes come from a search through the library; the rates are driven on
// the port directly, as the library speaks only 9600 baud to the chip.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "onewire/link.h"
#include "onewire/rom.h"
#include "onewire/status.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t Reset = 0xC1;
constexpr std::uint8_t DataMode = 0xE1;
constexpr std::uint8_t CommandMode = 0xE3;
constexpr std::uint8_t ReadBaud = 0x0F;

struct Rate {
    std::uint32_t baud;
    speed_t code;
    std::uint8_t value;  // the chip's baud-rate parameter value
};
constexpr Rate Rates[] = {{9600, B9600, 0}, {19200, B19200, 1}, {57600, B57600, 2}, {115200, B115200, 3}};

// 1-Wire time on the chip at standard speed.
constexpr double ResetMs = 1.096;
constexpr double ByteMs = 8 * 0.060;

double frameMs(std::uint32_t baud) {
    return 10.0 * 1000.0 / baud;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool setSpeed(int fd, speed_t code) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    cfsetispeed(&tio, code);
    cfsetospeed(&tio, code);
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

// Up to `count` answers within `timeoutMs` of the last one.
std::vector<std::uint8_t> readAnswers(int fd, std::size_t count, int timeoutMs) {
    std::vector<std::uint8_t> got;
    std::uint8_t buffer[256];
    while (got.size() < count) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0) break;
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
        if (n <= 0) break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

// The read as bytes to the chip, each with whether the chip answers it.
struct Unit {
    std::vector<std::uint8_t> bytes;
    bool answered;
};
std::vector<Unit> readUnits(const onewire::RomCode& rom) {
    std::vector<Unit> units{{{Reset}, true}, {{DataMode, 0x55}, true}};
    for (std::uint8_t b : rom) {
        units.push_back(b == CommandMode ? Unit{{b, b}, true} : Unit{{b}, true});
    }
    units.push_back({{0xBE}, true});
    for (int i = 0; i < 9; ++i) units.push_back({{0xFF}, true});
    units.push_back({{CommandMode}, false});
    return units;
}

bool goodRead(const std::vector<std::uint8_t>& answers) {
    if (answers.size() != 20 || (answers[0] & 0xDC) != 0xCC || (answers[0] & 3) != 1) return false;
    return onewire::crc8(answers.data() + 11, 8) == answers[19];
}

// The port at 9600 baud, the chip powered up and timed, then told `rate`.
// -1 when the chip does not confirm the rate.
int openAt(const char* path, const Rate& rate) {
    const int fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (!setSpeed(fd, B9600)) return (::close(fd), -1);
    // The timing byte of a chip just powered, answered by none; a chip still
    // running answers it as a reset. Long enough for the simulator to notice
    // the new client too.
    (void)writeAll(fd, {Reset});
    sleepMs(30);
    (void)tcflush(fd, TCIFLUSH);
    if (rate.baud != 9600) {
        // Its answer is awaited before the speed changes, so that it cannot
        // come after the flush at the new speed and pass for the next one.
        (void)writeAll(fd, {static_cast<std::uint8_t>(0x71 | (rate.value << 1))});
        (void)readAnswers(fd, 1, 100);
        (void)setSpeed(fd, rate.code);
        (void)tcflush(fd, TCIFLUSH);
    }
    (void)writeAll(fd, {ReadBaud});
    const std::vector<std::uint8_t> answer = readAnswers(fd, 1, 100);
    if (answer.size() != 1 || answer[0] != (rate.value << 1)) return (::close(fd), -1);
    return fd;
}

// Gone: the chip loses its power with the port (the simulator's hang-up),
// which is also how a real host gets a confused chip back.
void closeAndRest(int fd) {
    ::close(fd);
    sleepMs(100);
}

struct PassResult {
    double ms = 0;
    int good = 0;
    long lost = 0;  // answers missing
    bool reopenFailed = false;
};

PassResult pass(const char* path, const Rate& rate, const std::vector<onewire::RomCode>& roms,
                bool paced, int& fd) {
    PassResult result;
    for (const onewire::RomCode& rom : roms) {
        const std::vector<Unit> units = readUnits(rom);
        std::vector<std::uint8_t> answers;
        const Clock::time_point start = Clock::now();
        if (paced) {
            std::vector<std::uint8_t> pending;
            for (const Unit& unit : units) {
                pending.insert(pending.end(), unit.bytes.begin(), unit.bytes.end());
                if (!unit.answered) continue;
                (void)writeAll(fd, pending);
                pending.clear();
                const std::vector<std::uint8_t> one = readAnswers(fd, 1, 100);
                answers.insert(answers.end(), one.begin(), one.end());
            }
            (void)writeAll(fd, pending);
        } else {
            std::vector<std::uint8_t> burst;
            for (const Unit& unit : units) burst.insert(burst.end(), unit.bytes.begin(), unit.bytes.end());
            (void)writeAll(fd, burst);
            answers = readAnswers(fd, 20, 100);
        }
        result.ms += msSince(start);
        result.lost += 20 - static_cast<long>(answers.size());
        if (goodRead(answers)) {
            ++result.good;
            continue;
        }
        // A lost byte leaves the chip in a mode nobody knows: start again.
        closeAndRest(fd);
        fd = openAt(path, rate);
        if (fd < 0) {
            result.reopenFailed = true;
            return result;
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: kelvarian-bench-ds2480-rates PORT DEVICES PASSES\n");
        return 2;
    }
    const char* path = argv[1];
    const std::size_t expected = std::strtoul(argv[2], nullptr, 10);
    const int passes = std::max(1, std::atoi(argv[3]));

    std::vector<onewire::RomCode> roms;
    if (!onewire::openPort(path)) {
        std::fprintf(stderr, "cannot open %s\n", path);
        return 1;
    }
    onewire::searchReset();
    onewire::RomCode rom{};
    while (roms.size() < 100 && onewire::searchNext(&rom)) roms.push_back(rom);
    (void)onewire::closePort();
    if (roms.size() != expected) {
        std::fprintf(stderr, "found %zu devices, not %zu\n", roms.size(), expected);
        return 1;
    }
    sleepMs(100);

    bool allRan = true;
    for (const Rate& rate : Rates) {
        int fd = openAt(path, rate);
        if (fd < 0) {
            std::printf("rate %u negotiation-failed - - - - -\n", rate.baud);
            allRan = false;
            sleepMs(100);
            continue;
        }
        std::vector<double> burstMs;
        std::vector<double> pacedMs;
        int good = 0;
        int pacedGood = 0;
        long lost = 0;
        for (int i = 0; i < passes && fd >= 0; ++i) {
            const PassResult burst = pass(path, rate, roms, false, fd);
            burstMs.push_back(burst.ms);
            good += burst.good;
            lost += burst.lost;
            if (fd < 0) break;
            const PassResult paced = pass(path, rate, roms, true, fd);
            pacedMs.push_back(paced.ms);
            pacedGood += paced.good;
            lost += paced.lost;
        }
        if (fd >= 0) closeAndRest(fd);
        std::sort(burstMs.begin(), burstMs.end());
        std::sort(pacedMs.begin(), pacedMs.end());
        // The chip works on a byte while the next arrives: a read takes the
        // longer of its 21 bytes on the UART (and the last answer back) and
        // its 1-Wire time with the first byte in and the last answer out.
        const double frame = frameMs(rate.baud);
        const double wire = ResetMs + 19 * ByteMs;
        const double bound = static_cast<double>(roms.size()) *
                             std::max(21 * frame + ByteMs + frame, frame + wire + frame);
        const auto reads = static_cast<int>(roms.size()) * passes;
        std::printf("rate %u %.1f %d/%d %ld %.1f %d/%d %.1f\n", rate.baud,
                    burstMs.empty() ? 0.0 : burstMs[burstMs.size() / 2], good, reads, lost,
                    pacedMs.empty() ? 0.0 : pacedMs[pacedMs.size() / 2], pacedGood, reads, bound);
        std::fflush(stdout);
    }
    return allRan ? 0 : 1;
}
