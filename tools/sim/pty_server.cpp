#include "sim/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "busmodel/bus_model.h"

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

void answer(int master, const std::uint8_t* bytes, std::size_t count, std::uint32_t latencyMs) {
    std::vector<std::uint8_t> echoes;
    for (std::size_t i = 0; i < count; ++i) {
        busmodel::Transmit(bytes[i], slaveBaud(master), echoes);
    }
    if (latencyMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs));
    if (!echoes.empty()) (void)writeAll(master, echoes);
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
    std::uint8_t buffer[512];
    while (!control.stop.load()) {
        if (control.reload.exchange(false) && control.onReload != nullptr) control.onReload();
        pollfd pfd{pty.master, POLLIN, 0};
        const int r = poll(&pfd, 1, PollMs);
        if (r <= 0) continue;
        if ((pfd.revents & POLLIN) != 0) {
            const ssize_t n = ::read(pty.master, buffer, sizeof buffer);
            if (n > 0) {
                answer(pty.master, buffer, static_cast<std::size_t>(n), control.latencyMs);
                continue;
            }
        }
        // No client has the slave open: nothing to serve until one does.
        std::this_thread::sleep_for(IdleRest);
    }
}

}  // namespace sim
