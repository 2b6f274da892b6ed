#pragma once
// Scratch directories, the working directory and kelvarian-sim as a child
// process, for the tests that use real pseudo-terminals.
#include <sys/types.h>

#include <string>
#include <vector>

namespace onewire_test {

// A fresh directory under /tmp, removed with its entries at the end.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Works in `dir` until destroyed.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::string& dir);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    std::string previous_;
};

// kelvarian-sim running with `args`; started() tells whether it said "ready".
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return ready_; }
    const std::string& ptyPath() const { return pty_; }
    // SIGTERM and wait; the exit status (-1 when it did not end normally).
    int stop();

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    bool ready_ = false;
    std::string pty_;
};

}  // namespace onewire_test
