// The status server's snapshot and history, fed from the window's list and
// the figures of the monitor's hand-over.
#include <nlohmann/json.hpp>

#include <cmath>

#include "platform/window/window_testing.h"
#include "shell/alert_feed.h"
#include "shell/commands.h"
#include "shell/sensor_view.h"
#include "shell/shell_state.h"
#include "shell_fixture.h"
#include "web/status_feed.h"

namespace shell_test {
namespace {

using monitor::RowsChanged;
using monitor::StatusChanged;

constexpr std::int64_t PassTimeBase = 1'800'000'000;

monitor::DeviceFigures Reading(std::uint8_t serial, float celsius) {
    monitor::DeviceFigures device;
    device.rom = RomOf(serial);
    device.hasReading = true;
    device.celsius = celsius;
    device.counts.reads = 7;
    return device;
}

monitor::MonitorFigures Pass(std::uint64_t number) {
    monitor::MonitorFigures figures;
    figures.devices = {Reading(0x22, -3.5f), Reading(0x33, 30.0f)};
    figures.pass.passes = number;
    figures.pass.lastPassUnix = PassTimeBase + static_cast<std::int64_t>(number);
    figures.pass.deviceCount = 2;
    return figures;
}

const monitor::SensorList PassRows = {MonitorRow(0x22, "-3.5 °C", "OK"),
                                      MonitorRow(0x33, "30.0 °C", "OK")};

std::string Rom(std::uint8_t serial) {
    return monitor::FormatRomCode(RomOf(serial));
}

// The readings the history holds for the sensor, oldest first.
std::vector<web::HistorySample> History(std::uint8_t serial) {
    const auto& series = web::CurrentHistory().series;
    const auto found = series.find(Rom(serial));
    if (found == series.end()) return {};
    return {found->second.recent.begin(), found->second.recent.end()};
}

std::vector<std::string> Names(const nlohmann::json& status) {
    std::vector<std::string> names;
    for (const nlohmann::json& sensor : status["sensors"]) names.push_back(sensor["name"]);
    return names;
}

TEST_F(ShellTest, StatusSnapshotFollowsTheListAndTheHistoryTakesEachPassOnce) {
    WriteSettings("[Sensors]\nCount = 2\n" + StoredSensorLines(1, 0x11, "Котёл") +
                  StoredSensorLines(2, 0x22, "Улица"));
    Start();
    Publish(PassRows, "", RowsChanged, Pass(1));
    EXPECT_TRUE(Pump());
    EXPECT_TRUE(web::CurrentHistory().series.empty());  // no server configured

    shell::State().serverEnabled = true;
    Publish(PassRows, "", RowsChanged, Pass(2));
    EXPECT_TRUE(Pump());
    nlohmann::json status = nlohmann::json::parse(web::StatusJsonBody());
    EXPECT_EQ(Names(status), (std::vector<std::string>{"Котёл", "Улица", "Новый"}));
    const nlohmann::json& missing = status["sensors"][0];
    EXPECT_EQ(missing["cells"]["status"], "Не найден");
    EXPECT_TRUE(missing["temperature"].is_null());
    EXPECT_EQ(missing["present"], false);
    EXPECT_EQ(status["sensors"][1]["temperature"], -3.5);
    EXPECT_EQ(status["sensors"][2]["rom"], Rom(0x33));
    EXPECT_EQ(status["sensors"][2]["temperature"], 30.0);
    EXPECT_EQ(status["summary"]["devices"], 2);
    EXPECT_NE(web::MetricsBody().find("kelvarian_reads_total{rom=\"" + Rom(0x33) + "\"} 7\n"),
              std::string::npos);
    for (const std::uint8_t serial : {std::uint8_t{0x11}, std::uint8_t{0x22}, std::uint8_t{0x33}}) {
        EXPECT_EQ(History(serial).size(), 1u) << int{serial};
    }

    // The same pass handed over again (with a status text of its own) adds no point.
    Publish(PassRows, "Найдено", RowsChanged | StatusChanged, Pass(2));
    EXPECT_TRUE(Pump());
    EXPECT_EQ(History(0x22).size(), 1u);
    Publish(PassRows, "", RowsChanged, Pass(3));
    EXPECT_TRUE(Pump());
    const std::vector<web::HistorySample> outside = History(0x22);
    ASSERT_EQ(outside.size(), 2u);
    EXPECT_EQ(outside[1].unixSeconds, PassTimeBase + 3);
    EXPECT_FLOAT_EQ(outside[1].celsius, -3.5f);
    ASSERT_EQ(History(0x11).size(), 2u);
    EXPECT_TRUE(std::isnan(History(0x11)[1].celsius));  // a gap where it was not found

    // Commands redraw: the snapshot takes the new order and names at once.
    shell::MoveSensor(2, 0);
    shell::State().sensors[2].cells[monitor::Name].text = "Двор";
    shell::RefreshSensorView(shell::RefreshMode::Redraw);
    status = nlohmann::json::parse(web::StatusJsonBody());
    EXPECT_EQ(Names(status), (std::vector<std::string>{"Новый", "Котёл", "Двор"}));
    EXPECT_EQ(status["sensors"][2]["temperature"], -3.5);
    EXPECT_EQ(History(0x22).size(), 2u);
}

// With "Notify" the icon carries the status summary, and a bus that fails is
// one notification, not one per sensor. Where the desktop has no notification
// area (Qt offscreen) no icon is shown and no notification is attempted.
TEST_F(ShellTest, NotificationIconShowsTheSummaryAndABusFailureOnce) {
    WriteSettings("[Sensors]\nCount = 1\n" + StoredSensorLines(1, 0x22, "Улица") +
                  "[Alerts]\nNotify = 1\nDelay = 0\n");
    Start();
    ASSERT_TRUE(shell::AlertsRunning());
    Publish(PassRows, "Найдено 2 датчика", RowsChanged | StatusChanged, Pass(1));
    EXPECT_TRUE(Pump());
    platform::NotificationIconView icon = platform::NotificationIcon();
    const bool area = icon.shown;
    if (area) {
        EXPECT_TRUE(icon.hasIcon);
        EXPECT_EQ(icon.tooltip, "Найдено 2 датчика");
        EXPECT_EQ(icon.message, "");  // every sensor started as fine
    }

    monitor::MonitorFigures failing = Pass(2);
    failing.pass.busFailing = true;
    Publish({MonitorRow(0x22, " ", "Нет ответа", monitor::ErrorColor),
             MonitorRow(0x33, " ", "Нет ответа", monitor::ErrorColor)},
            "Нет ответа", RowsChanged | StatusChanged, failing);
    EXPECT_TRUE(Pump());
    icon = platform::NotificationIcon();
    EXPECT_EQ(icon.shown, area);
    if (area) {
        EXPECT_EQ(icon.tooltip, "Нет ответа");
        EXPECT_EQ(icon.title, "Kelvarian");
        EXPECT_EQ(icon.message, "1-Wire: Нет ответа");
    } else {
        EXPECT_EQ(icon.message, "");
    }
    shell::StopAlerts();
    EXPECT_FALSE(platform::NotificationIcon().shown);
    EXPECT_FALSE(shell::AlertsRunning());
}

}  // namespace
}  // namespace shell_test
