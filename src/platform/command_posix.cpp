// Commands on POSIX: posix_spawnp, so no shell sees the user's text, and
// waitpid without waiting.
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

#include "platform/command.h"

extern char** environ;

namespace platform {
namespace {

bool replaced(const std::string& entry, const Environment& extra) {
    for (const auto& [name, value] : extra) {
        if (entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
            entry[name.size()] == '=') {
            return true;
        }
    }
    return false;
}

}  // namespace

CommandRun StartCommand(const std::string& commandLine, const Environment& extra) {
    std::vector<std::string> words = SplitCommandWords(commandLine);
    if (words.empty()) return {};
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!replaced(*entry, extra)) environment.emplace_back(*entry);
    }
    for (const auto& [name, value] : extra) environment.push_back(name + "=" + value);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return {};
    return CommandRun{pid};
}

CommandState PollCommand(CommandRun& run) {
    if (!run.valid()) return CommandState::Failed;
    int status = 0;
    const pid_t done = waitpid(static_cast<pid_t>(run.id), &status, WNOHANG);
    if (done == 0) return CommandState::Running;
    run = {};
    if (done < 0) return CommandState::Failed;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? CommandState::Succeeded
                                                         : CommandState::Failed;
}

}  // namespace platform
