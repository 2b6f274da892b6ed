// Whether a display answers, asked without Qt: Qt's own attempt ends in an
// abort when no platform plugin can start, and a stale DISPLAY (an ssh session
// gone, a display manager restarting) is common for a program that runs for
// months.
#include "platform/window/display_probe.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace {

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

bool UnixSocketAnswers(const std::string& path) {
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool answers =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

// The compositor's socket: WAYLAND_DISPLAY, relative to XDG_RUNTIME_DIR unless
// it is a path of its own.
bool WaylandAnswers() {
    const std::string name = EnvironmentText("WAYLAND_DISPLAY");
    if (name.empty()) return false;
    if (name.front() == '/') return UnixSocketAnswers(name);
    const std::string runtime = EnvironmentText("XDG_RUNTIME_DIR");
    return !runtime.empty() && UnixSocketAnswers(runtime + "/" + name);
}

// A whole X connection setup through libxcb, as Qt's xcb plugin makes it, so
// that a server that refuses this user (no authorisation) counts as none. The
// library is loaded only for the question: without it the plugin cannot start
// either.
bool XServerAnswers() {
    if (EnvironmentText("DISPLAY").empty()) return false;
    void* xcb = ::dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (xcb == nullptr) return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    const auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    const auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    const auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    bool answers = false;
    if (connect != nullptr && hasError != nullptr && disconnect != nullptr) {
        // A failed connect still returns an object, in an error state, to be freed.
        void* connection = connect(nullptr, nullptr);
        answers = connection != nullptr && hasError(connection) == 0;
        if (connection != nullptr) disconnect(connection);
    }
    ::dlclose(xcb);
    return answers;
}

}  // namespace

bool DisplayAnswers() {
    return XServerAnswers() || WaylandAnswers();
}

}  // namespace platform
