// kelvarian-sim: a simulated 1-Wire bus served on a pseudo-terminal, or as the
// Linux kernel's w1 files show one (--w1-sysfs).
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>

#include "busmodel/bus_model.h"
#include "busmodel/virtual_clock.h"
#include "sim/pty_server.h"
#include "sim/sim_config.h"
#include "sim/w1_tree.h"

namespace {

sim::ServeControl control;
int savedArgc = 0;
const char* const* savedArgv = nullptr;

void onSignal(int signal) {
    if (signal == SIGHUP) {
        control.reload.store(true);
    } else {
        control.stop.store(true);
    }
}

void installSignals() {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

bool readConfig(sim::SimConfig& config, std::string& error) {
    if (!sim::ParseArgs(savedArgc, savedArgv, config, error)) return false;
    if (config.configPath.empty()) return true;
    const std::string linkFromFlags = config.linkPath;
    if (!sim::LoadConfigFile(config.configPath, config, error)) return false;
    if (!linkFromFlags.empty()) config.linkPath = linkFromFlags;
    return true;
}

// Devices already on the bus keep their memories (scratchpad, EEPROM, a
// running conversion); others come and go.
void applyDevices(const std::vector<busmodel::Device>& wanted) {
    for (const busmodel::Device& old : busmodel::Devices()) {
        bool kept = false;
        for (const busmodel::Device& device : wanted) kept = kept || device.rom == old.rom;
        if (!kept) (void)busmodel::RemoveDevice(old.rom);
    }
    for (const busmodel::Device& device : wanted) {
        if (!busmodel::ChangeDevice(device.rom, [&](busmodel::Device& d) { d = device; })) {
            busmodel::AddDevice(device);
        }
    }
}

void reload() {
    sim::SimConfig config;
    std::string error;
    if (!readConfig(config, error)) {
        std::fprintf(stderr, "kelvarian-sim: reload failed, keeping the bus: %s\n", error.c_str());
        return;
    }
    applyDevices(config.devices);
    busmodel::SetFaults(config.faults);
    control.latencyMs = config.latencyMs;
    control.wireTiming = config.wireTiming;
    std::printf("reloaded\n");
    std::fflush(stdout);
}

void printReady() {
    std::printf("ready\n");
    std::fflush(stdout);
}

// The kernel's files instead of a pseudo-terminal; --link points at the
// master's folder, as a user's COMn entry points at the kernel's.
int serveW1Tree(const sim::SimConfig& config) {
    // Conversions are waited out on the bus model's clock: a virtual one
    // moves on at once.
    if (config.w1Instant) busmodel::UseVirtualClock(busmodel::ClockMode::Instant);
    sim::W1Tree tree;
    tree.root = config.w1Root;
    tree.bulk = config.w1Bulk;
    tree.instant = config.w1Instant;
    std::string error;
    if (!sim::CreateW1Tree(tree, error)) {
        std::fprintf(stderr, "kelvarian-sim: %s\n", error.c_str());
        return 1;
    }
    const std::string target = std::filesystem::absolute(tree.master).string();
    if (!config.linkPath.empty() && !sim::CreateLink(config.linkPath, target, error)) {
        std::fprintf(stderr, "kelvarian-sim: %s\n", error.c_str());
        sim::RemoveW1Tree(tree);
        return 1;
    }
    std::printf("w1 %s\n", tree.master.c_str());
    if (!config.linkPath.empty()) std::printf("link %s\n", config.linkPath.c_str());
    std::fflush(stdout);
    sim::ServeW1Tree(tree, control, printReady);
    if (!config.linkPath.empty()) sim::RemoveLink(config.linkPath, target);
    sim::RemoveW1Tree(tree);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    savedArgc = argc;
    savedArgv = argv;
    sim::SimConfig config;
    std::string error;
    if (!readConfig(config, error)) {
        std::fprintf(stderr, "kelvarian-sim: %s\n\n%.*s", error.c_str(),
                     static_cast<int>(sim::Usage().size()), sim::Usage().data());
        return 2;
    }
    if (config.help) {
        std::printf("%.*s", static_cast<int>(sim::Usage().size()), sim::Usage().data());
        return 0;
    }
    busmodel::SetDevices(config.devices);
    busmodel::SetFaults(config.faults);
    busmodel::SetAdapter(config.adapter);
    control.latencyMs = config.latencyMs;
    control.wireTiming = config.wireTiming;
    control.onReload = reload;
    if (!config.tracePath.empty()) {
        control.trace = std::fopen(config.tracePath.c_str(), "w");
        if (control.trace == nullptr) {
            std::fprintf(stderr, "kelvarian-sim: cannot write %s\n", config.tracePath.c_str());
            return 1;
        }
    }
    installSignals();

    if (!config.w1Root.empty()) return serveW1Tree(config);

    sim::PtyEndpoint pty;
    if (!sim::OpenPty(pty, error)) {
        std::fprintf(stderr, "kelvarian-sim: %s\n", error.c_str());
        return 1;
    }
    if (!config.linkPath.empty() && !sim::CreateLink(config.linkPath, pty.slavePath, error)) {
        std::fprintf(stderr, "kelvarian-sim: %s\n", error.c_str());
        sim::ClosePty(pty);
        return 1;
    }
    std::printf("pty %s\n", pty.slavePath.c_str());
    if (!config.linkPath.empty()) std::printf("link %s\n", config.linkPath.c_str());
    std::printf("ready\n");
    std::fflush(stdout);

    sim::Serve(pty, control);

    if (!config.linkPath.empty()) sim::RemoveLink(config.linkPath, pty.slavePath);
    sim::ClosePty(pty);
    if (control.trace != nullptr) std::fclose(control.trace);
    return 0;
}
