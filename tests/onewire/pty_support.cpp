#include "pty_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

namespace onewire_test {

ScratchDir::ScratchDir() {
    char name[] = "/tmp/kelvarian-onewire-XXXXXX";
    if (mkdtemp(name) != nullptr) path_ = name;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

WorkingDirectory::WorkingDirectory(const std::string& dir) {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) != nullptr) previous_ = buffer;
    [[maybe_unused]] const int entered = chdir(dir.c_str());
}

WorkingDirectory::~WorkingDirectory() {
    if (previous_.empty()) return;
    [[maybe_unused]] const int back = chdir(previous_.c_str());
}

SimProcess::SimProcess(const std::vector<std::string>& args) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        std::string program = KELVARIAN_SIM_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copies(args);
        for (std::string& arg : copies) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    output_ = pipeEnds[0];
    if (pid_ < 0) return;
    // A generous bound: the child only has to start up and print three lines.
    std::string text;
    for (int waited = 0; waited < 200 && text.find("ready\n") == std::string::npos; ++waited) {
        pollfd pfd{output_, POLLIN, 0};
        if (poll(&pfd, 1, 100) <= 0) continue;
        char chunk[256];
        const ssize_t n = read(output_, chunk, sizeof chunk);
        if (n <= 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
    }
    ready_ = text.find("ready\n") != std::string::npos;
    const std::size_t at = text.find("pty ");
    if (at != std::string::npos) pty_ = text.substr(at + 4, text.find('\n', at) - at - 4);
}

int SimProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    const pid_t done = waitpid(pid_, &status, 0);
    pid_ = -1;
    if (done < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

SimProcess::~SimProcess() {
    if (pid_ > 0) (void)stop();
    if (output_ >= 0) close(output_);
}

}  // namespace onewire_test
