#pragma once
// Running the user's command without a shell, with details in its
// environment, and asking later how it ended: nothing here waits for it.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// A started command as the system numbers it (a process id, or a process
// handle on Windows); negative when none.
struct CommandRun {
    std::intptr_t id = -1;

    [[nodiscard]] bool valid() const { return id >= 0; }
};

enum class CommandState : std::uint8_t { Running, Succeeded, Failed };

using Environment = std::vector<std::pair<std::string, std::string>>;

// Words as a shell would split them, without any expansion: blanks separate,
// '...' keeps everything, "..." keeps all but \" and \\, a backslash outside
// quotes keeps the next character. Used where the system itself does not
// split a command line (POSIX).
[[nodiscard]] std::vector<std::string> SplitCommandWords(std::string_view line);

// Starts `commandLine` (split as the system does: SplitCommandWords on POSIX,
// the program's own rules on Windows) with the process's environment plus
// `extra`. Invalid when it could not be started.
[[nodiscard]] CommandRun StartCommand(const std::string& commandLine, const Environment& extra);
// Running, or how it ended (a non-zero exit or a signal is Failed); an ended
// command is released and `run` becomes invalid.
[[nodiscard]] CommandState PollCommand(CommandRun& run);

}  // namespace platform
