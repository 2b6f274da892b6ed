#include "alerts/alert_runner.h"

#include <cstdio>

#include "web/text_escape.h"

namespace alerts {
namespace {

void reportFailure(AlertRunner& runner, const char* what) {
    if (runner.failureReported) return;
    runner.failureReported = true;
    std::fprintf(stderr, "kelvarian: the alert command \"%s\" %s\n", runner.command.c_str(), what);
}

}  // namespace

platform::Environment EnvironmentOf(const Announcement& announcement) {
    const SensorSeen& sensor = announcement.sensor;
    return {
        {"KELVARIAN_NAME", sensor.name},
        {"KELVARIAN_ROM", sensor.rom},
        {"KELVARIAN_STATE", std::string(StateName(sensor.state))},
        {"KELVARIAN_PREVIOUS", std::string(StateName(announcement.previous))},
        {"KELVARIAN_TEMPERATURE", sensor.celsius ? web::NumberText(*sensor.celsius) : ""},
        {"KELVARIAN_MESSAGE", sensor.message},
    };
}

void QueueAnnouncement(AlertRunner& runner, const Announcement& announcement) {
    if (runner.command.empty()) return;
    runner.waiting.push_back(EnvironmentOf(announcement));
}

void ServiceRunner(AlertRunner& runner) {
    for (auto it = runner.running.begin(); it != runner.running.end();) {
        const platform::CommandState state = platform::PollCommand(*it);
        if (state == platform::CommandState::Running) {
            ++it;
            continue;
        }
        if (state == platform::CommandState::Failed) reportFailure(runner, "failed");
        it = runner.running.erase(it);
    }
    while (runner.running.size() < MaxRunningCommands && !runner.waiting.empty()) {
        const platform::CommandRun run =
            platform::StartCommand(runner.command, runner.waiting.front());
        runner.waiting.pop_front();
        ++runner.started;
        if (!run.valid()) {
            reportFailure(runner, "cannot be started");
            continue;
        }
        runner.running.push_back(run);
    }
}

bool RunnerIdle(const AlertRunner& runner) {
    return runner.running.empty() && runner.waiting.empty();
}

}  // namespace alerts
