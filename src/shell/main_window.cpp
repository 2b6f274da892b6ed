#include "shell/main_window.h"

#include <string>

#include "kelvarian_build_config.h"
#include "platform/window/window.h"

namespace shell {
namespace {

using platform::ClientArea;
using platform::Rect;

constexpr int InitialInnerWidth = 590;
constexpr int InnerHeight = 400;

int sensorPopup = -1;

int RightEdge(int id) {
    const Rect r = platform::ControlRect(id);
    return r.x + r.width;
}

int Bottom(int id) {
    const Rect r = platform::ControlRect(id);
    return r.y + r.height;
}

void SetWidth(int id, int width) {
    Rect r = platform::ControlRect(id);
    r.width = width;
    platform::SetControlRect(id, r);
}

void SetHeight(int id, int height) {
    Rect r = platform::ControlRect(id);
    r.height = height;
    platform::SetControlRect(id, r);
}

// A label sits directly against the control it names: its width is its text
// width + 4.
void CreateFittedLabel(int id, int parent, const char* text, int x, int y) {
    platform::CreateLabel(id, parent, text, {x, y, 0, 16});
    SetWidth(id, platform::TextWidth(id) + 4);
}

void BuildMenus() {
    const int file = platform::AddMenuBarMenu("Файл");
    platform::AddMenuItem(file, LogItem, "Записывать в лог-файл");
    platform::AddMenuSeparator(file);
    platform::AddMenuItem(file, ExitItem, "Выход");
    const int mode = platform::AddMenuBarMenu("Режим");
    platform::AddMenuItem(mode, ReduceCpuItem, "Снизить нагрузку на CPU");
    platform::AddMenuItem(mode, InvertLinesItem, "Инвертировать DTR и RTS");
    const int help = platform::AddMenuBarMenu("Справка");
    platform::AddMenuItem(help, AboutItem, "О программе");
    sensorPopup = platform::CreatePopupMenu();
    if (sensorPopup >= 0) {
        platform::AddMenuItem(sensorPopup, RenameItem, "Переименовать");
        platform::AddMenuItem(sensorPopup, RemoveMissingItem, "Удалить не найденные");
    }
}

void BuildTopRow() {
    CreateFittedLabel(PortLabel, ClientArea, "Порт:", 4, 8);
    platform::CreateDropDownList(PortList, ClientArea, {RightEdge(PortLabel), 4, 100, 22});
    FillPortList(PortList);
    CreateFittedLabel(IntervalLabel, ClientArea, "Интервал опроса:", RightEdge(PortList) + 10, 8);
    platform::CreateSpinField(IntervalSpin, ClientArea, {RightEdge(IntervalLabel), 4, 70, 22}, 1,
                              65530, true);
    platform::SetToolTip(IntervalSpin, "Интервал в секундах опроса датчиков");
    platform::CreateCheckBox(ThermoCheck, ClientArea, "Термо контроль",
                             {RightEdge(IntervalSpin) + 16, 8, 0, 16});
    SetWidth(ThermoCheck, platform::TextWidth(ThermoCheck) + 2);
}

void BuildThermoFrame() {
    platform::CreateFrame(ThermoFrame, ClientArea, {RightEdge(ThermoCheck), 2, 200, 28});
    CreateFittedLabel(MinLabel, ThermoFrame, "Мин:", 4, 7);
    platform::CreateSpinField(MinSpin, ThermoFrame, {RightEdge(MinLabel), 2, 50, 22},
                              LimitSpinMinimum, LimitSpinMaximum, false);
    platform::SetToolTip(MinSpin, "Минимальная допустимая температура");
    CreateFittedLabel(MaxLabel, ThermoFrame, "Макс:", RightEdge(MinSpin) + 10, 7);
    platform::CreateSpinField(MaxSpin, ThermoFrame, {RightEdge(MaxLabel), 2, 50, 22},
                              LimitSpinMinimum, LimitSpinMaximum, false);
    platform::SetToolTip(MaxSpin, "Максимальная допустимая температура");
    SetWidth(ThermoFrame, RightEdge(MaxSpin) + 10);
}

void BuildSensorView(int innerWidth) {
    platform::CreateListView(SensorView, ClientArea,
                             {2, Bottom(ThermoFrame) + 2, innerWidth - 4, 100});
    static constexpr struct {
        const char* title;
        int width;
    } columns[] = {{"Имя", 120},        {"Тип", 70},         {"Серийный номер", 120},
                   {"Подключение", 90}, {"Температура", 90}, {"Статус", 90}};
    for (const auto& column : columns) {
        platform::AddListColumn(SensorView, column.title, column.width);
    }
}

}  // namespace

bool BuildMainWindow() {
    const std::string title = std::string("DS18B20 Kelvarian v") + build_config::Version;
    if (!platform::CreateMainWindow(title, InitialInnerWidth, InnerHeight)) {
        return false;
    }
    BuildMenus();
    BuildTopRow();
    BuildThermoFrame();
    const int innerWidth = RightEdge(ThermoFrame) + 2;
    platform::SetInnerSize(innerWidth, InnerHeight);
    BuildSensorView(innerWidth);
    platform::CreateStatusBar();
    // The window's inner height counts the menu bar and the status bar.
    SetHeight(SensorView, InnerHeight - platform::StatusBarHeight() -
                              platform::ControlRect(SensorView).y - platform::MenuBarHeight() - 2);
    platform::ShowMainWindow();
    return true;
}

void FillPortList(int id) {
    platform::ClearDropDown(id);
    for (int i = 1; i <= PortCount; ++i) {
        platform::AddDropDownEntry(id, "COM" + std::to_string(i));
    }
}

int SensorPopup() {
    return sensorPopup;
}

}  // namespace shell
