// The program's entry: no arguments; the settings file is its only configuration.
#include "shell/startup.h"

int main() {
    return shell::RunProgram();
}
