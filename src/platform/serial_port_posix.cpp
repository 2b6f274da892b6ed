// Serial ports on POSIX systems: termios in raw 8N1, exclusive access, and
// waits in poll() so that the echo waits of the bus do not spin a core.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <string>
#include <thread>

#ifdef __linux__
#include <linux/serial.h>
#endif

#include "platform/port_entry.h"
#include "platform/serial_port.h"
#include "platform/serial_port_shared.h"

namespace platform {

struct SerialPort {
    int fd = -1;
    speed_t speed = B115200;
    bool lost = false;  // sticky: the device behind fd is gone
};

namespace {

using Clock = std::chrono::steady_clock;

thread_local PortOpenFailure lastOpenFailure = PortOpenFailure::None;

// A device node the user may not open (EACCES) is the first thing a new user
// meets: serial devices belong to the dialout group on Debian.
PortOpenFailure openFailureOf(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return PortOpenFailure::PermissionDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return PortOpenFailure::NotFound;
        case EBUSY:
        case EWOULDBLOCK:
            return PortOpenFailure::Busy;
        default:
            return PortOpenFailure::Other;
    }
}

// Rounded up, so that a wait never turns into a spin over its last fraction
// of a millisecond.
int remainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>((left + 999) / 1000) : 0;
}

// A USB adapter pulled out, or the other side of a pseudo-terminal closed,
// hangs the line up for good: the descriptor answers EIO (ENODEV, ENXIO on
// some drivers) and poll reports POLLHUP or POLLERR from then on, even when
// the device comes back, which it does under a new descriptor.
void noteError(SerialPort* port, int error) {
    if (error == EIO || error == ENODEV || error == ENXIO) port->lost = true;
}

void notePoll(SerialPort* port, const pollfd& pfd) {
    if ((pfd.revents & (POLLHUP | POLLERR)) != 0) port->lost = true;
}

// The COM number whose last open on this thread went through its entry of
// the working directory; 0 when the last open did not. Only the monitor
// thread opens the bus's port, so this is its own memory of the device.
thread_local unsigned openedThroughEntry = 0;

// Where a name leads, and whether through a COMn entry.
struct DeviceChoice {
    std::string path;
    unsigned entryNumber = 0;  // the COM number when `path` is its entry
};

// A name holding '/' is a device path. "COMn" is the entry COMn of the
// working directory when there is one (a dangling link included: the open
// then fails instead of reaching another device), else /dev/ttyS(n-1),
// unless `entryOnly`. Any other name is looked up under /dev.
DeviceChoice devicePath(std::string_view name, bool entryOnly) {
    name = UsedPortName(name);
    if (name.find('/') != std::string_view::npos) return {std::string(name)};
    const unsigned number = ComPortNumber(name);
    if (number == 0) return {"/dev/" + std::string(name)};
    const std::string local = "COM" + std::to_string(number);
    struct stat info {};
    if (entryOnly || lstat(local.c_str(), &info) == 0) return {local, number};
    return {"/dev/ttyS" + std::to_string(number - 1)};
}

speed_t speedCode(std::uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

void makeRaw(termios& tio) {
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK | IGNPAR);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

// USB adapters otherwise hold received bytes for up to 16 ms before handing
// them on, which would cost that much per time slot. Refusal changes nothing.
void askLowLatency(int fd) {
#ifdef __linux__
    serial_struct info{};
    if (ioctl(fd, TIOCGSERIAL, &info) == 0) {
        info.flags |= ASYNC_LOW_LATENCY;
        (void)ioctl(fd, TIOCSSERIAL, &info);
    }
#else
    (void)fd;
#endif
}

bool configure(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) return false;
    makeRaw(tio);
    if (cfsetispeed(&tio, B115200) != 0 || cfsetospeed(&tio, B115200) != 0) return false;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

SerialPort* openDevice(const DeviceChoice& device) {
    const int fd = ::open(device.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastOpenFailure = openFailureOf(errno);
        return nullptr;
    }
    // TIOCEXCL keeps other programs out; flock also keeps out a second
    // instance running as root, whom TIOCEXCL does not stop.
    if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || !configure(fd)) {
        lastOpenFailure = openFailureOf(errno);
        ::close(fd);
        return nullptr;
    }
    askLowLatency(fd);
    auto* port = new (std::nothrow) SerialPort{fd, B115200};
    if (port == nullptr) ::close(fd);
    lastOpenFailure = port != nullptr ? PortOpenFailure::None : PortOpenFailure::Other;
    return port;
}

// A port chosen anew (by the user, or at start) follows today's entry or
// device; what it reached is remembered for the reopens that follow.
SerialPort* openPort(std::string_view name) {
    const DeviceChoice device = devicePath(name, false);
    SerialPort* port = openDevice(device);
    openedThroughEntry = port != nullptr ? device.entryNumber : 0;
    return port;
}

// A link being recreated (a udev rule, a script) is missing for a moment:
// falling back to /dev/ttyS(n-1) then would leave the bus on another device
// for good, so a port that came through its entry comes back only through it.
SerialPort* reopenPort(std::string_view name) {
    const unsigned number = ComPortNumber(UsedPortName(name));
    const bool entryOnly = number != 0 && number == openedThroughEntry;
    const DeviceChoice device = devicePath(name, entryOnly);
    SerialPort* port = openDevice(device);
    if (port != nullptr) openedThroughEntry = device.entryNumber;
    return port;
}

bool setPortSpeed(SerialPort* port, std::uint32_t baud) {
    const speed_t code = speedCode(baud);
    termios tio{};
    if (code == B0) return false;
    if (tcgetattr(port->fd, &tio) != 0) return (noteError(port, errno), false);
    if (cfsetispeed(&tio, code) != 0 || cfsetospeed(&tio, code) != 0) return false;
    // TCSADRAIN: the last byte must leave at the old speed before the change.
    if (tcsetattr(port->fd, TCSADRAIN, &tio) != 0) return (noteError(port, errno), false);
    port->speed = code;
    return true;
}

// Pseudo-terminals and some adapters have no modem lines (ENOTTY, EINVAL);
// the bus then has to be powered otherwise, which is no error here.
void setPortLines(SerialPort* port, bool dtrOn, bool rtsOn) {
    int dtr = TIOCM_DTR;
    int rts = TIOCM_RTS;
    if (ioctl(port->fd, dtrOn ? TIOCMBIS : TIOCMBIC, &dtr) != 0) noteError(port, errno);
    if (ioctl(port->fd, rtsOn ? TIOCMBIS : TIOCMBIC, &rts) != 0) noteError(port, errno);
}

std::int32_t portInputWaiting(SerialPort* port) {
    int waiting = 0;
    if (ioctl(port->fd, FIONREAD, &waiting) != 0) return (noteError(port, errno), 0);
    return waiting < 0 ? 0 : waiting;
}

// The count written so far is given when the write's time is up.
std::int32_t writePortBytes(SerialPort* port, const std::uint8_t* data, std::int32_t n) {
    if (data == nullptr || n <= 0) return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(
                                             WriteLimitBaseMs + WriteLimitPerByteMs * std::int64_t{n});
    std::int32_t done = 0;
    while (done < n) {
        const ssize_t r = ::write(port->fd, data + done, static_cast<std::size_t>(n - done));
        if (r > 0) {
            done += static_cast<std::int32_t>(r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            noteError(port, errno);
            break;
        }
        const int left = remainingMs(deadline);
        if (left == 0) break;
        pollfd pfd{port->fd, POLLOUT, 0};
        if (poll(&pfd, 1, left) < 0 && errno != EINTR) break;
        notePoll(port, pfd);
        if (port->lost) break;
    }
    return done;
}

std::int32_t readPortBytes(SerialPort* port, std::uint8_t* data, std::int32_t n) {
    if (data == nullptr || n <= 0) return 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ReadGraceMs);
    std::int32_t done = 0;
    while (done < n) {
        const ssize_t r = ::read(port->fd, data + done, static_cast<std::size_t>(n - done));
        if (r > 0) {
            done += static_cast<std::int32_t>(r);
            continue;
        }
        if (r == 0) break;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            noteError(port, errno);
            break;
        }
        const int left = remainingMs(deadline);
        if (left == 0) break;
        pollfd pfd{port->fd, POLLIN, 0};
        if (poll(&pfd, 1, left) < 0 && errno != EINTR) break;
        notePoll(port, pfd);
        if (port->lost) break;
    }
    return done;
}

// poll() wakes at the first waiting byte; when more are wanted, the rest are
// on their way, so the wait sleeps for about the time they need on the wire
// rather than spinning on a descriptor that stays readable.
void waitPortInput(SerialPort* port, std::int32_t bytes, std::uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const auto byteTime = std::chrono::microseconds(port->speed == B9600 ? 1042 : 87);
    for (;;) {
        const std::int32_t waiting = portInputWaiting(port);
        if (waiting >= bytes) return;
        const int left = remainingMs(deadline);
        if (left == 0) return;
        if (waiting == 0) {
            pollfd pfd{port->fd, POLLIN, 0};
            const int r = poll(&pfd, 1, left);
            if (r < 0 && errno != EINTR) return;
            notePoll(port, pfd);
            // A hung-up or failed port stays "readable" without input: nothing
            // will come, so the wait takes its time instead of spinning.
            if (r > 0 && portInputWaiting(port) == 0) {
                std::this_thread::sleep_until(deadline);
                return;
            }
        } else {
            const auto missing = byteTime * (bytes - waiting);
            const auto until = Clock::now() + missing;
            std::this_thread::sleep_until(until < deadline ? until : deadline);
        }
    }
}

void closePort(SerialPort* port) {
    // Dropping exclusivity first lets the next open of the same device succeed
    // even while another descriptor (a simulator's) keeps it alive.
    (void)ioctl(port->fd, TIOCNXCL);
    ::close(port->fd);
    delete port;
}

bool portLost(SerialPort* port) {
    return port->lost;
}

const SerialPortOps systemOps{
    openPort,       setPortSpeed,  setPortLines,  portInputWaiting,
    writePortBytes, readPortBytes, waitPortInput, closePort,
    portLost,       reopenPort,
};

}  // namespace

std::string PortEntryPath(std::string_view name) {
    const DeviceChoice device = devicePath(name, false);
    const bool isPath = UsedPortName(name).find('/') != std::string_view::npos;
    return device.entryNumber != 0 || isPath ? device.path : std::string();
}

PortOpenFailure LastPortOpenFailure() {
    return lastOpenFailure;
}

const SerialPortOps& SystemSerialPort() {
    return systemOps;
}

}  // namespace platform
