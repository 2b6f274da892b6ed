#include <algorithm>

#include "monitor/mailbox.h"

namespace monitor {
namespace {

constexpr const char* NotFoundText = "Не найден";
constexpr const char* NewSensorName = "Новый";

void takeCells(SensorRecord& target, const SensorRecord& row) {
    for (int column = Type; column < ColumnCount; ++column) {
        SensorCell& cell = target.cells[column];
        const SensorCell& from = row.cells[column];
        cell.text = from.text;
        cell.color = from.color;
        cell.changed = static_cast<std::uint8_t>(from.changed | TextChanged);
    }
}

void markNotFound(SensorRecord& record) {
    record.present = 0;
    SensorCell& status = record.cells[Status];
    status.text = NotFoundText;
    status.color = ErrorColor;
    status.changed = TextChanged | ColorChanged;
    SensorCell& temperature = record.cells[Temperature];
    temperature.text.clear();
    temperature.changed = TextChanged;
    record.cells[Type].changed = TextChanged;
    record.cells[Connection].changed = TextChanged;
}

}  // namespace

void MergeRows(SensorList& windowList, SensorList rows) {
    for (SensorRecord& record : windowList) {
        const std::int64_t key = RomToInt64(record.rom);
        auto match = std::find_if(rows.begin(), rows.end(), [key](const SensorRecord& row) {
            return RomToInt64(row.rom) == key;
        });
        if (match != rows.end()) {
            takeCells(record, *match);
            record.present = 1;
            rows.erase(match);
        } else {
            markNotFound(record);
        }
        record.cells[Name].changed = TextChanged;
    }
    for (const SensorRecord& row : rows) {
        SensorRecord& added = windowList.emplace_back();
        added.rom = row.rom;
        added.cells[Name].text = NewSensorName;
        added.cells[Name].changed = TextChanged;
        takeCells(added, row);
        added.present = 1;
    }
}

}  // namespace monitor
