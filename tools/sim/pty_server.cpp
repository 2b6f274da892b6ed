#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <thread>
#include <vector>

#include "busmodel/bus_model.h"
#include "busmodel/ds2480_engine.h"
#include "sim/echo_schedule.h"

namespace sim {
namespace {

// How often the loop looks at the stop flag, and how long it rests while no
// client holds the slave open (the master then reports a hang-up at once).
constexpr int PollMs = 100;
constexpr auto IdleRest = std::chrono::milliseconds(20);

std::uint32_t baudOf(speed_t code) {
    switch (code) {
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}

// On Linux a pseudo-terminal's master reports the slave's settings, so the
// speed the client has just set tells a reset from a time slot. It is read
// afresh for every byte, as the client changes it between bytes.
std::uint32_t slaveBaud(int master) {
    termios tio{};
    if (tcgetattr(master, &tio) != 0) return 0;
    return baudOf(cfgetospeed(&tio));
}

bool writeAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t r = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (r > 0) {
            done += static_cast<std::size_t>(r);
        } else if (r < 0 && errno == EAGAIN) {
            pollfd pfd{fd, POLLOUT, 0};
            (void)poll(&pfd, 1, PollMs);
        } else if (r < 0 && errno != EINTR) {
            return false;
        }
    }
    return true;
}

std::int64_t nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// The bus answers each byte at once, at the speed the client has set; the
// schedule decides when the echoes go back.
void accept(int master, const std::uint8_t* bytes, std::size_t count, EchoSchedule& schedule,
            std::FILE* trace) {
    StartWrite(schedule, nowNs());
    std::vector<std::uint8_t> echoes;
    std::vector<std::uint8_t> answered;
    std::uint32_t lastBaud = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t baud = slaveBaud(master);
        echoes.clear();
        bool lost = false;
        if (!schedule.chip) {
            (void)busmodel::HostByte(bytes[i], baud, echoes);
            AddByte(schedule, baud, echoes);
        } else if (ChipReceives(schedule, baud)) {
            const std::int64_t wireNs = busmodel::HostByte(bytes[i], baud, echoes);
            ChipAnswers(schedule, baud, wireNs, echoes);
        } else {
            lost = true;
        }
        if (trace == nullptr) continue;
        if (baud != lastBaud) std::fprintf(trace, "%s@%u", i == 0 ? "" : " ", baud);
        lastBaud = baud;
        std::fprintf(trace, lost ? " %02X(lost)" : " %02X", bytes[i]);
        answered.insert(answered.end(), echoes.begin(), echoes.end());
    }
    FinishWrite(schedule);
    if (trace == nullptr) return;
    std::fprintf(trace, " ->");
    for (std::uint8_t value : answered) std::fprintf(trace, " %02X", value);
    std::fprintf(trace, "\n");
    std::fflush(trace);
}

// Waking from a sleep takes tens of microseconds, more on a busy machine; an
// echo that goes back late would be counted against the client. So the loop
// sleeps until shortly before the next echo is due and spins the rest.
constexpr std::int64_t SpinNs = 100000;

// Until shortly before the next echo is due, or a while when none is on its way.
timespec waitFor(const EchoSchedule& schedule) {
    const std::optional<std::int64_t> due = NextDueNs(schedule);
    const std::int64_t waitNs =
        due ? std::max<std::int64_t>(0, *due - SpinNs - nowNs()) : std::int64_t{PollMs} * 1000000;
    return timespec{static_cast<time_t>(waitNs / 1000000000),
                    static_cast<long>(waitNs % 1000000000)};
}

void spinUntilDue(const EchoSchedule& schedule) {
    const std::optional<std::int64_t> due = NextDueNs(schedule);
    if (!due || *due - nowNs() > SpinNs) return;
    while (nowNs() < *due) {
    }
}

}  // namespace

bool OpenPty(PtyEndpoint& pty, std::string& error) {
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0 || grantpt(pty.master) != 0 || unlockpt(pty.master) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        ClosePty(pty);
        return false;
    }
    const char* name = ptsname(pty.master);
    termios tio{};
    if (name == nullptr || tcgetattr(pty.master, &tio) != 0) {
        error = std::string("cannot set up the pseudo-terminal: ") + std::strerror(errno);
        ClosePty(pty);
        return false;
    }
    pty.slavePath = name;
    // Raw both ways until the client sets its own mode: no echo of our echoes,
    // no line editing, no translation of 0x0D or 0x11.
    cfmakeraw(&tio);
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    (void)tcsetattr(pty.master, TCSANOW, &tio);
    const int flags = fcntl(pty.master, F_GETFL);
    (void)fcntl(pty.master, F_SETFL, flags | O_NONBLOCK);
    return true;
}

void ClosePty(PtyEndpoint& pty) {
    if (pty.master >= 0) ::close(pty.master);
    pty.master = -1;
}

bool CreateLink(const std::string& linkPath, const std::string& target, std::string& error) {
    struct stat info {};
    if (lstat(linkPath.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            error = linkPath + " exists and is not a symbolic link";
            return false;
        }
        (void)unlink(linkPath.c_str());
    }
    if (symlink(target.c_str(), linkPath.c_str()) != 0) {
        error = "cannot create " + linkPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void RemoveLink(const std::string& linkPath, const std::string& target) {
    char buffer[PATH_MAX];
    const ssize_t n = readlink(linkPath.c_str(), buffer, sizeof buffer - 1);
    if (n < 0) return;
    buffer[n] = '\0';
    if (target == buffer) (void)unlink(linkPath.c_str());
}

void Serve(const PtyEndpoint& pty, ServeControl& control) {
    // Echoes 87 us apart need wake-ups to the microsecond, not the default
    // 50 us of timer slack.
    (void)prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    EchoSchedule schedule;
    schedule.chip = busmodel::CurrentAdapter() == busmodel::Adapter::Ds2480b;
    std::uint8_t buffer[512];
    while (!control.stop.load()) {
        if (control.reload.exchange(false) && control.onReload != nullptr) control.onReload();
        schedule.wireTiming = control.wireTiming;
        schedule.latencyMs = control.latencyMs;
        pollfd pfd{pty.master, POLLIN, 0};
        const timespec timeout = waitFor(schedule);
        const int r = ppoll(&pfd, 1, &timeout, nullptr);
        if (r > 0) {
            const ssize_t n =
                (pfd.revents & POLLIN) != 0 ? ::read(pty.master, buffer, sizeof buffer) : 0;
            if (n > 0) {
                accept(pty.master, buffer, static_cast<std::size_t>(n), schedule, control.trace);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                // No client has the slave open (hang-up, EIO): what was on its
                // way is lost, and there is nothing to serve until one opens it.
                DropPending(schedule);
                // A line driver fed by the port's lines loses its power when
                // the client closes the port, as a real one does with DTR.
                busmodel::PowerUpAdapter();
                std::this_thread::sleep_for(IdleRest);
            }
        }
        spinUntilDue(schedule);
        const std::vector<std::uint8_t> due = TakeDue(schedule, nowNs());
        if (!due.empty()) (void)writeAll(pty.master, due);
    }
}

}  // namespace sim
