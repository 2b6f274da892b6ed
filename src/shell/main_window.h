#pragma once
// The main window's fixed ids and its construction.
namespace shell {

// Control ids: the event table dispatches on them.
enum ControlId : int {
    PortList = 0,
    IntervalSpin = 1,
    ThermoCheck = 2,
    ThermoFrame = 3,
    MinSpin = 4,
    MaxSpin = 5,
    SensorView = 6,
};

// The labels raise no events; their ids only address them in the window layer.
enum LabelId : int { PortLabel = 100, IntervalLabel, MinLabel, MaxLabel };

// Menu item ids, shared by the menu bar and the sensor list's pop-up menu.
enum MenuItemId : int {
    LogItem = 0,
    ExitItem = 1,
    ReduceCpuItem = 2,
    InvertLinesItem = 3,
    AboutItem = 4,
    RenameItem = 5,
    RemoveMissingItem = 6,
};

inline constexpr int ServerTimer = 0;
inline constexpr int ServerTimerPeriodMs = 10;
inline constexpr int PublisherTimer = 1;
inline constexpr int PublisherTimerPeriodMs = 10;
inline constexpr int AlertTimer = 2;
inline constexpr int AlertTimerPeriodMs = 100;
inline constexpr int PortCount = 30;  // COM1 to COM30, whatever the machine has
// The range MinSpin and MaxSpin offer (a DS18B20 measures -55 to +125 °C).
inline constexpr int LimitSpinMinimum = -55;
inline constexpr int LimitSpinMaximum = 125;

// Builds every menu and control at the fixed layout and shows the window.
// false when the window cannot be created.
[[nodiscard]] bool BuildMainWindow();

// Fills the drop-down list `id` with COM1 to COM30; selects nothing.
void FillPortList(int id);

// The sensor list's pop-up menu, or -1 when it could not be created.
int SensorPopup();

}  // namespace shell
