#pragma once
// The program copied into a folder of its own, its COM1 a link to
// kelvarian-sim, run on the offscreen platform; shared by the end-to-end suites.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "monitor/sensor_table.h"
#include "onewire/rom.h"
#include "process_support.h"

namespace e2e {

using namespace std::chrono_literals;

// Generous bounds for a loaded machine; the tests poll and end as soon as the
// program got there.
inline constexpr auto ReadingsLimit = std::chrono::seconds(120);
inline constexpr auto ExitLimit = std::chrono::seconds(60);

inline onewire::RomCode Rom(std::uint8_t family, std::uint16_t serial) {
    onewire::RomCode rom{family,
                         static_cast<std::uint8_t>(serial & 0xFF),
                         static_cast<std::uint8_t>(serial >> 8),
                         0,
                         0,
                         0,
                         0,
                         0};
    rom[7] = onewire::crc8(rom.data(), 7);
    return rom;
}

inline std::string Id(const onewire::RomCode& rom) {
    return std::to_string(monitor::RomToInt64(rom));
}

inline std::string PageRow(const std::string& name, const std::string& value) {
    return "<tr><td style=\"text-align: center;\">" + name +
           "</td><td style=\"text-align: center;\">" + value + "</td></tr>";
}

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/kelvarian-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        ASSERT_TRUE(CopyExecutable(KELVARIAN_EXECUTABLE, folder + "/kelvarian"));
    }

    void TearDown() override {
        Terminate(program);
        Terminate(simulator);
        std::filesystem::remove_all(folder);
    }

    // `devices` are lines of the simulator's config file, which a SIGHUP
    // makes it read again.
    void StartSimulator(const std::string& devices) {
        WriteWholeFile(folder + "/bus.conf", devices);
        const std::vector<std::string> argv{SIMULATOR_EXECUTABLE, "--link", folder + "/COM1",
                                            "--config", folder + "/bus.conf"};
        simulator = Spawn(argv, {}, folder, true);
        ASSERT_GT(simulator.pid, 0);
        ASSERT_TRUE(WaitForLine(simulator, "ready", 30s));
    }

    // Rewrites the simulator's config file and waits until it has read it.
    void ChangeBus(const std::string& devices) {
        WriteWholeFile(folder + "/bus.conf", devices);
        ASSERT_EQ(kill(simulator.pid, SIGHUP), 0);
        ASSERT_TRUE(WaitForLine(simulator, "reloaded", 30s));
    }

    void StartProgram() {
        // No session bus: the desktop would show the tests' notifications.
        program = Spawn(
            {folder + "/kelvarian"},
            {"QT_QPA_PLATFORM=offscreen", "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus"},
            "/", false);
        ASSERT_GT(program.pid, 0);
    }

    // Polls the page until it holds every one of `rows`; returns the last page.
    std::string WaitForPage(std::uint16_t port, const std::vector<std::string>& rows) {
        const auto deadline = std::chrono::steady_clock::now() + ReadingsLimit;
        std::string page;
        while (std::chrono::steady_clock::now() < deadline) {
            page = FetchPage(port, "/");
            bool all = !page.empty();
            for (const std::string& row : rows) all = all && page.find(row) != std::string::npos;
            if (all) return page;
            std::this_thread::sleep_for(500ms);
        }
        return page;
    }

    // Settings for COM1 read every second, `stored` named "Котёл", and the
    // server on a free port, which is returned.
    std::uint16_t WriteServerSettings(const onewire::RomCode& stored, bool logging) {
        const std::uint16_t port = FreeTcpPort();
        WriteWholeFile(
            folder + "/Kelvarian.ini",
            std::string("\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\nLog = ") +
                (logging ? "1" : "0") + "\r\n[Sensors]\r\nCount = 1\r\nID_1 = " + Id(stored) +
                "\r\nName_1 = Котёл\r\n[Server]\r\nEnable = 1\r\nPort = " + std::to_string(port) +
                "\r\n");
        return port;
    }

    // Settings for COM1 read every second with `stored` (code, name) in this
    // order and the server on a free port, which is returned.
    std::uint16_t WriteSensorSettings(
        const std::vector<std::pair<onewire::RomCode, std::string>>& stored, bool logging) {
        const std::uint16_t port = FreeTcpPort();
        std::string text = std::string("\xEF\xBB\xBF\r\nPort = COM1\r\nInterval = 1\r\nLog = ") +
                           (logging ? "1" : "0") +
                           "\r\n[Sensors]\r\nCount = " + std::to_string(stored.size()) + "\r\n";
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            text += "ID_" + n + " = " + Id(stored[i].first) + "\r\nName_" + n + " = " +
                    stored[i].second + "\r\n";
        }
        WriteWholeFile(folder + "/Kelvarian.ini",
                       text + "[Server]\r\nEnable = 1\r\nPort = " + std::to_string(port) + "\r\n");
        return port;
    }

    // Poll passes the program has made, from /metrics; -1 when it did not answer.
    static long Passes(std::uint16_t port) {
        const std::string metrics = FetchPage(port, "/metrics");
        const std::string name = "\nkelvarian_poll_passes_total ";
        const std::size_t at = metrics.find(name);
        if (at == std::string::npos) return -1;
        return std::atol(metrics.c_str() + at + name.size());
    }

    // Waits until the program has made `more` passes beyond those it had made.
    bool WaitForMorePasses(std::uint16_t port, long more) {
        const auto deadline = std::chrono::steady_clock::now() + ReadingsLimit;
        long first = -1;
        while (std::chrono::steady_clock::now() < deadline) {
            const long now = Passes(port);
            if (first < 0) first = now;
            if (first >= 0 && now >= first + more) return true;
            std::this_thread::sleep_for(200ms);
        }
        return false;
    }

    // Polls `path` until its body parses as JSON that `ready` accepts;
    // returns the last JSON read (discarded when none parsed).
    nlohmann::json WaitForJson(std::uint16_t port, const std::string& path,
                               const std::function<bool(const nlohmann::json&)>& ready) {
        const auto deadline = std::chrono::steady_clock::now() + ReadingsLimit;
        nlohmann::json json = nlohmann::json::value_t::discarded;
        while (std::chrono::steady_clock::now() < deadline) {
            json = nlohmann::json::parse(FetchPage(port, path), nullptr, false);
            if (!json.is_discarded() && ready(json)) break;
            std::this_thread::sleep_for(300ms);
        }
        return json;
    }

    std::string Settings() const { return ReadWholeFile(folder + "/Kelvarian.ini"); }

    std::string folder;
    Child simulator;
    Child program;
};

}  // namespace e2e
