#include "test_support.h"

#include <atomic>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>

#include "onewire/rom.h"
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

}  // namespace

monitor::Scratchpad MakeScratchpad(std::int16_t raw) {
    const auto bits = static_cast<std::uint16_t>(raw);
    // Bytes 2..7 as a DS18B20 holds them after power-up: TH, TL, config, reserved.
    monitor::Scratchpad pad{static_cast<std::uint8_t>(bits & 0xFF),
                            static_cast<std::uint8_t>(bits >> 8), 0x4B, 0x46, 0x7F, 0xFF, 0x0C,
                            0x10, 0};
    pad[8] = onewire::crc8(pad.data(), 8);
    return pad;
}

monitor::RomCode MakeRom(std::uint8_t family, std::uint64_t serial) {
    monitor::RomCode rom{};
    rom[0] = family;
    for (std::size_t i = 1; i <= 6; ++i) rom[i] = static_cast<std::uint8_t>(serial >> (8 * (i - 1)));
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

WindowRecorder::~WindowRecorder() { platform::BindMonitorWindow(nullptr); }

int WindowRecorder::events() const { return postedEvents.load(); }

std::vector<std::string> WindowRecorder::statusTexts() const {
    std::lock_guard<std::mutex> guard(statusLock);
    return statusField0;
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
