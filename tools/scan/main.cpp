// kelvarian-scan PORT
// PORT is COMn (an entry of that name in the current folder, else the
// system's n-th serial port) or a device path.
#include <cstdio>
#include <string>
#include <vector>

#include "scan.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelvarian-scan PORT\n");
        return 2;
    }
    std::vector<std::string> lines;
    std::string error;
    std::string adapter;
    const bool found = scan::ScanBus(argv[1], lines, error, &adapter);
    // Which master drives the bus, for a user checking an adapter they bought.
    if (!adapter.empty()) std::fprintf(stderr, "adapter: %s\n", adapter.c_str());
    if (!found) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return 0;
}
