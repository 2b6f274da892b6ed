#include "shell/shell_state.h"

namespace shell {
namespace {
ShellState state;
}

ShellState& State() {
    return state;
}

void ResetState() {
    state = ShellState{};
}

}  // namespace shell
