#include "process_support.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Reads what is there within `waitMs`; false on end of stream or error.
}  // namespace

bool ReadSome(int fd, std::string& into, int waitMs) {
    pollfd watch{fd, POLLIN, 0};
    if (poll(&watch, 1, waitMs) <= 0) return true;
    char buffer[4096];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return false;
    into.append(buffer, static_cast<std::size_t>(got));
    return true;
}

Child Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
            const std::string& workingDirectory, bool captureOutput) {
    std::vector<std::string> args = argv;
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        const bool replaced = std::any_of(extraEnv.begin(), extraEnv.end(), [&name](const auto& e) {
            return e.substr(0, e.find('=')) == name;
        });
        if (!replaced) env.push_back(text);
    }
    for (const std::string& entry : extraEnv) {
        if (entry.find('=') != std::string::npos) env.push_back(entry);
    }
    int output[2] = {-1, -1};
    if (captureOutput && pipe(output) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        if (captureOutput) {
            dup2(output[1], STDOUT_FILENO);
            dup2(output[1], STDERR_FILENO);
            close(output[0]);
            close(output[1]);
        }
        if (chdir(workingDirectory.c_str()) != 0) _exit(126);
        std::vector<char*> argPointers = Pointers(args);
        std::vector<char*> envPointers = Pointers(env);
        execve(argPointers[0], argPointers.data(), envPointers.data());
        _exit(127);
    }
    Child child;
    child.pid = pid;
    if (captureOutput) {
        close(output[1]);
        child.outputFd = output[0];
    }
    return child;
}

bool WaitForLine(const Child& child, const std::string& line, std::chrono::seconds limit) {
    std::string seen;
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (!ReadSome(child.outputFd, seen, 100)) break;
        if (seen.find(line + "\n") != std::string::npos) return true;
    }
    return false;
}

std::optional<int> WaitForExit(Child& child, std::chrono::seconds limit) {
    const auto deadline = Clock::now() + limit;
    while (child.pid > 0) {
        int status = 0;
        const pid_t done = waitpid(child.pid, &status, WNOHANG);
        if (done == child.pid) {
            child.pid = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return std::nullopt;
        }
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
}

void Terminate(Child& child) {
    if (child.pid > 0) {
        kill(child.pid, SIGTERM);
        if (!WaitForExit(child, std::chrono::seconds(10)) && child.pid > 0) {
            kill(child.pid, SIGKILL);
            WaitForExit(child, std::chrono::seconds(10));
        }
    }
    if (child.outputFd >= 0) close(child.outputFd);
    child.outputFd = -1;
}

std::string FetchPage(std::uint16_t port, const std::string& path) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return {};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
            static_cast<ssize_t>(request.size())) {
            // The server keeps the connection open: read until the body is whole.
            const auto deadline = Clock::now() + std::chrono::seconds(5);
            while (Clock::now() < deadline && ReadSome(fd, answer, 100)) {
                const auto headerEnd = answer.find("\r\n\r\n");
                const auto lengthAt = answer.find("Content-Length:");
                if (headerEnd == std::string::npos || lengthAt == std::string::npos) continue;
                const std::size_t length = std::stoul(answer.substr(lengthAt + 15));
                if (answer.size() >= headerEnd + 4 + length) {
                    answer = answer.substr(headerEnd + 4, length);
                    close(fd);
                    return answer;
                }
            }
        }
    }
    close(fd);
    return {};
}

std::uint16_t FreeTcpPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(fd);
    return port;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

bool CopyExecutable(const std::string& from, const std::string& to) {
    std::error_code error;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, error);
    return !error;
}

}  // namespace e2e
