// Preloaded into a 1-Wire program that runs against kelvarian-sim
// (LD_PRELOAD=libkelvarian-pty-drain.so): its output flushes on the
// simulator's pseudo-terminal discard nothing, as on a serial port.
//
// Some masters (owserver's DS2480B driver) write, wait in tcdrain and then
// flush both queues before the next command. On a UART tcdrain returns once
// the bytes are on the line, so the output flush finds nothing to discard.
// On a pseudo-terminal tcdrain returns at once, and the flush throws away
// whatever the kernel has not yet handed to the simulator: on a busy machine
// the last command of a search (the accelerator's end) vanishes and the
// emulated chip is left in the wrong mode. The input queue is still flushed,
// as the program asked. Every other descriptor is left alone.

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

namespace {

// Unix 98 pseudo-terminal slaves have majors 136 to 143.
bool isPtySlave(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return false;
    return major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
}

using FlushFunction = int (*)(int, int);

}  // namespace

extern "C" int tcflush(int fd, int queue) {
    static FlushFunction next = reinterpret_cast<FlushFunction>(dlsym(RTLD_NEXT, "tcflush"));
    if (next == nullptr) return -1;
    if (isPtySlave(fd)) {
        if (queue == TCOFLUSH) return 0;
        if (queue == TCIOFLUSH) queue = TCIFLUSH;
    }
    return next(fd, queue);
}
