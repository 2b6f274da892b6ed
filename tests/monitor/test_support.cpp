#include "test_support.h"

#include <atomic>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>

#include "busmodel/virtual_clock.h"
#include "onewire/rom.h"
#include "platform/clock.h"
#include "platform/monitor_window.h"

namespace monitor_test {
namespace {

std::atomic<int> postedEvents{0};
std::mutex statusLock;
std::vector<std::string> statusField0;

void recordStatus(std::string_view text) {
    std::lock_guard<std::mutex> guard(statusLock);
    statusField0.emplace_back(text);
}

void recordEvent(std::int32_t number) {
    if (number == platform::SensorsUpdatedEvent) ++postedEvents;
}

const platform::MonitorWindowOps recorderOps{recordStatus, recordEvent};

// Touched by the test thread and, in thread tests, by the monitor thread.
std::mutex stepLock;
int stepCount = 0;
int actionStep = 0;
std::function<void()> stepAction;

void countingSleepMs(std::uint32_t ms) {
    busmodel::AdvanceClockMs(ms);
    if (ms < 100) return;  // the bus layer's own waits are shorter
    std::function<void()> action;
    {
        std::lock_guard<std::mutex> guard(stepLock);
        if (++stepCount == actionStep) action = std::move(stepAction);
    }
    if (action) action();
}

std::uint64_t countingElapsedMs() {
    return busmodel::VirtualNowMs();
}

std::int64_t countingUnixSeconds() {
    return VirtualUnixStart + static_cast<std::int64_t>(busmodel::VirtualNowMs() / 1000);
}

const platform::ClockOps countingClock{countingSleepMs, countingElapsedMs, countingUnixSeconds};

}  // namespace

monitor::Scratchpad MakeScratchpad(std::int16_t raw) {
    const auto bits = static_cast<std::uint16_t>(raw);
    // Bytes 2..7 as a DS18B20 holds them after power-up: TH, TL, config, reserved.
    monitor::Scratchpad pad{static_cast<std::uint8_t>(bits & 0xFF),
                            static_cast<std::uint8_t>(bits >> 8),
                            0x4B,
                            0x46,
                            0x7F,
                            0xFF,
                            0x0C,
                            0x10,
                            0};
    pad[8] = onewire::crc8(pad.data(), 8);
    return pad;
}

monitor::RomCode MakeRom(std::uint8_t family, std::uint64_t serial) {
    monitor::RomCode rom{};
    rom[0] = family;
    for (std::size_t i = 1; i <= 6; ++i)
        rom[i] = static_cast<std::uint8_t>(serial >> (8 * (i - 1)));
    rom[7] = onewire::crc8(rom.data(), 7);
    return rom;
}

WindowRecorder::WindowRecorder() {
    postedEvents = 0;
    {
        std::lock_guard<std::mutex> guard(statusLock);
        statusField0.clear();
    }
    platform::BindMonitorWindow(&recorderOps);
}

WindowRecorder::~WindowRecorder() {
    platform::BindMonitorWindow(nullptr);
}

int WindowRecorder::events() const {
    return postedEvents.load();
}

std::vector<std::string> WindowRecorder::statusTexts() const {
    std::lock_guard<std::mutex> guard(statusLock);
    return statusField0;
}

StepClock::StepClock() {
    busmodel::UseVirtualClock(busmodel::ClockMode::Instant, 1000);
    platform::UseClock(&countingClock);
    resetSteps();
}

StepClock::~StepClock() {
    busmodel::UseSystemClock();
}

int StepClock::steps() const {
    std::lock_guard<std::mutex> guard(stepLock);
    return stepCount;
}

void StepClock::resetSteps() {
    std::lock_guard<std::mutex> guard(stepLock);
    stepCount = 0;
    actionStep = 0;
    stepAction = nullptr;
}

void StepClock::atStep(int step, std::function<void()> action) {
    std::lock_guard<std::mutex> guard(stepLock);
    actionStep = step;
    stepAction = std::move(action);
}

TempWorkingDir::TempWorkingDir() {
    std::random_device random;
    previous = std::filesystem::current_path();
    path = std::filesystem::temp_directory_path() /
           ("kelvarian-monitor-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path);
    std::filesystem::current_path(path);
}

TempWorkingDir::~TempWorkingDir() {
    std::error_code ignored;
    std::filesystem::current_path(previous, ignored);
    std::filesystem::remove_all(path, ignored);
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace monitor_test
