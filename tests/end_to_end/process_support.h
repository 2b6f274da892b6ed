#pragma once
// Child processes, files and a loopback HTTP fetch for the end-to-end tests.
// Every wait is bounded and polls, so a slow machine only takes longer.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

struct Child {
    pid_t pid = -1;
    int outputFd = -1;  // the child's stdout, when captured
};

// Starts `argv[0]` in this environment changed by `extraEnv`: "NAME=value"
// sets NAME, a bare "NAME" removes it. With `captureOutput`, its standard
// output and standard error come through one pipe.
Child Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
            const std::string& workingDirectory, bool captureOutput);
// Waits up to `waitMs` for output on `fd` and appends what came; false when
// the writer has closed it.
bool ReadSome(int fd, std::string& into, int waitMs);
// Reads the child's output until a line equal to `line` or the deadline.
bool WaitForLine(const Child& child, const std::string& line, std::chrono::seconds limit);
// Exit code once the child has ended within the limit; nothing when it runs on
// or was ended by a signal.
std::optional<int> WaitForExit(Child& child, std::chrono::seconds limit);
void Terminate(Child& child);  // SIGTERM, then SIGKILL if it lingers

// The body of GET `path` from 127.0.0.1:port; empty when nothing answered.
std::string FetchPage(std::uint16_t port, const std::string& path);
std::uint16_t FreeTcpPort();

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
bool CopyExecutable(const std::string& from, const std::string& to);

}  // namespace e2e
