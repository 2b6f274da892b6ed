#include "shell/startup.h"

#include <cstdio>
#include <string>

#include "monitor/app_settings.h"
#include "monitor/monitor_thread.h"
#include "mqtt/publisher.h"
#include "onewire/link.h"
#include "persistence/event_log.h"
#include "platform/monitor_window.h"
#include "platform/process.h"
#include "platform/socket.h"
#include "platform/window/window.h"
#include "shell/alert_feed.h"
#include "shell/event_table.h"
#include "shell/files_place.h"
#include "shell/main_window.h"
#include "shell/publisher_feed.h"
#include "shell/sensor_view.h"
#include "shell/settings_io.h"
#include "shell/shell_state.h"
#include "shell/status_feed.h"
#include "web/status_page.h"
#include "web/status_server.h"

namespace shell {
namespace {

// The monitor gets this long to end after the quit request; it sleeps in
// 100 ms steps, so a healthy thread ends well within it.
constexpr unsigned MonitorStopWaitMs = 400;

void SeedMonitor() {
    monitor::AppSettings& settings = monitor::Settings();
    settings.knownRoms.clear();
    for (const monitor::SensorRecord& record : State().sensors) {
        settings.knownRoms.push_back(record.rom);
    }
    monitor::SetPortName(SelectedPortName());
}

}  // namespace

void ResetSharedState() {
    onewire::setLinkOptions(0);
    ResetState();
    monitor::AppSettings& settings = monitor::Settings();
    settings.quitRequested = 0;
    settings.portChanged = 0;
}

void StartStatusServerIfEnabled() {
    const ShellState& state = State();
    if (!state.serverEnabled) return;
    const std::string port = std::to_string(state.serverPort);
    if (web::StartStatusServer(state.serverPort, state.serverIPv6)) {
        platform::SetStatusText(
            1, "Сервер работает (" + port + " порт, IPv" + (state.serverIPv6 ? "6" : "4") + ")");
        platform::StartTimer(ServerTimer, ServerTimerPeriodMs, &OnServerTimer);
    } else {
        platform::SetStatusText(1, "Не удалось запустить сервер (" + port + " порт)");
    }
}

bool StartWindow() {
    if (!BuildMainWindow()) return false;
    platform::SetWindowIconFromIco(web::SiteIcon());
    LoadSettings();
    StartStatusServerIfEnabled();
    StartPublisherIfConfigured();
    StartAlertsIfConfigured();
    SeedHistoryFromLog();
    RefreshSensorView(RefreshMode::Redraw);
    // Filling the controls queued events; none of them may save the settings
    // or request a port change.
    platform::DiscardPendingEvents();
    platform::BindControlHandler(PortList, platform::EventType::SelectionChanged, &OnPortChanged);
    platform::BindCustomEventHandler(platform::SensorsUpdatedEvent, &OnSensorsUpdated);
    SeedMonitor();
    return true;
}

void RunEventLoop() {
    while (HandleEvent(platform::WaitEvent())) {
    }
}

void StopProgram() {
    monitor::Settings().quitRequested = 1;
    platform::HideMainWindow();
    SaveSettings();
    mqtt::StopPublisher();
    StopAlerts();
    if (monitor::WaitMonitorThread(MonitorStopWaitMs)) {
        persistence::CloseLog();
        onewire::releasePortAtExit();
        return;
    }
    // A thread cannot be killed safely here: it is left running until the
    // process exits, and the log file and port it may still use stay open
    // for the operating system to release.
    monitor::DetachMonitorThread();
}

int RunProgram() {
    // First, so that a termination signal during start-up is kept and acted on
    // once the event loop runs.
    platform::InstallTerminationSignals();
    if (!platform::InitWindowSystem()) {
        std::fputs("kelvarian: no display to show the window on\n", stderr);
        return 1;
    }
    platform::WatchTerminationSignals();
    // Every text of the program is Russian; so are the dialogs' buttons,
    // where the toolkit's translation is installed.
    platform::UseToolkitLanguage("ru");
    [[maybe_unused]] const bool sockets = platform::PrepareSockets();  // the status server's network stack
    ResetSharedState();
    // A box nobody can see would keep a headless second instance waiting for ever.
    if (!EnterFilesPlace(FindFilesPlace(), platform::ScreenVisible())) return 1;
    if (!StartWindow()) {
        std::fputs("kelvarian: the main window cannot be created\n", stderr);
        return 1;
    }
    // Without a monitor thread the window still shows the stored sensors.
    [[maybe_unused]] const bool monitoring = monitor::StartMonitorThread();
    RunEventLoop();
    StopProgram();
    platform::ExitProcessNow(0);
}

}  // namespace shell
