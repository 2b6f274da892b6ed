#pragma once
// The user's commands on the sensor table and the About box. None of them
// saves: their changes reach the settings file with the next save.
namespace shell {

void ShowAbout();
// Prompts for a new name of the record at `row`; an empty answer keeps the old one.
void RenameSensor(int row);
// Removes every record that the last merge did not find on the bus.
void RemoveMissingSensors();
// Moves the record at `source` so that it ends at `target`; nothing happens
// when either holds no record.
void MoveSensor(int source, int target);

}  // namespace shell
