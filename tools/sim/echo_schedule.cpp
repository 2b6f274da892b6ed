#include "sim/echo_schedule.h"

#include <algorithm>

namespace sim {
namespace {

constexpr std::int64_t NsPerSecond = 1000000000;
constexpr std::int64_t NsPerMs = 1000000;
constexpr std::int64_t BitsPerFrame = 10;

}  // namespace

std::int64_t FrameNs(std::uint32_t baud) {
    if (baud == 0) return 0;
    return (BitsPerFrame * NsPerSecond + baud / 2) / baud;
}

void StartWrite(EchoSchedule& schedule, std::int64_t arrivalNs) {
    const std::int64_t start = arrivalNs + std::int64_t{schedule.latencyMs} * NsPerMs;
    schedule.cursorNs = schedule.wireTiming ? std::max(start, schedule.wireFreeNs) : start;
    schedule.writeStart = schedule.pending.size();
}

void AddByte(EchoSchedule& schedule, std::uint32_t baud, std::span<const std::uint8_t> echoes) {
    if (schedule.wireTiming) {
        schedule.cursorNs += FrameNs(baud);
        schedule.wireFreeNs = schedule.cursorNs;
    }
    for (std::uint8_t value : echoes) schedule.pending.push_back({value, schedule.cursorNs});
}

bool ChipReceives(EchoSchedule& schedule, std::uint32_t baud) {
    if (!schedule.wireTiming) return true;
    schedule.cursorNs += FrameNs(baud);
    schedule.wireFreeNs = schedule.cursorNs;
    if (schedule.chipStartNs <= schedule.cursorNs) return true;
    ++schedule.overruns;
    return false;
}

void ChipAnswers(EchoSchedule& schedule, std::uint32_t baud, std::int64_t wireNs,
                 std::span<const std::uint8_t> answers) {
    std::int64_t sent = schedule.cursorNs;
    if (schedule.wireTiming) {
        const std::int64_t start = std::max(schedule.cursorNs, schedule.chipFreeNs);
        schedule.chipStartNs = start;
        schedule.chipFreeNs = start + wireNs;
        sent = std::max(schedule.chipFreeNs, schedule.answerFreeNs);
    }
    for (std::uint8_t value : answers) {
        if (schedule.wireTiming) sent += FrameNs(baud);
        schedule.pending.push_back({value, sent});
    }
    if (schedule.wireTiming) schedule.answerFreeNs = sent;
}

void FinishWrite(EchoSchedule& schedule) {
    std::int64_t due = schedule.cursorNs;
    // A chip's answers may leave after the write's last byte has arrived.
    if (schedule.pending.size() > schedule.writeStart)
        due = std::max(due, schedule.pending.back().dueNs);
    // Echoes go back in the order their bytes were sent, even should a later
    // write carry less latency than an earlier one.
    if (schedule.writeStart > 0)
        due = std::max(due, schedule.pending[schedule.writeStart - 1].dueNs);
    for (std::size_t i = schedule.writeStart; i < schedule.pending.size(); ++i) {
        schedule.pending[i].dueNs = due;
    }
    schedule.writeStart = schedule.pending.size();
}

std::vector<std::uint8_t> TakeDue(EchoSchedule& schedule, std::int64_t nowNs) {
    std::vector<std::uint8_t> due;
    while (!schedule.pending.empty() && schedule.pending.front().dueNs <= nowNs) {
        due.push_back(schedule.pending.front().value);
        schedule.pending.pop_front();
    }
    schedule.writeStart = schedule.pending.size();
    return due;
}

std::optional<std::int64_t> NextDueNs(const EchoSchedule& schedule) {
    if (schedule.pending.empty()) return std::nullopt;
    return schedule.pending.front().dueNs;
}

void DropPending(EchoSchedule& schedule) {
    schedule.pending.clear();
    schedule.writeStart = 0;
    schedule.wireFreeNs = 0;
    schedule.chipFreeNs = 0;
    schedule.chipStartNs = 0;
    schedule.answerFreeNs = 0;
}

}  // namespace sim
