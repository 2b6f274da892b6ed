// The hand-over from the monitor to the window and the merge by ROM code.
#include <gtest/gtest.h>

#include "monitor/mailbox.h"
#include "test_support.h"

using namespace monitor;
using monitor_test::MakeRom;

namespace {

SensorRecord monitorRow(const RomCode& rom, const std::string& temperature) {
    SensorRecord row;
    row.rom = rom;
    const char* texts[ColumnCount] = {"", "DS18B20", "serial", "3 вывода", "", "OK"};
    for (int column = Type; column < ColumnCount; ++column) {
        row.cells[column].text = texts[column];
        row.cells[column].changed = TextChanged;
    }
    row.cells[Temperature].text = temperature;
    row.cells[Temperature].color = AlarmColor;
    row.cells[Temperature].changed = TextChanged | ColorChanged;
    return row;
}

SensorRecord windowRecord(const RomCode& rom, const std::string& name) {
    SensorRecord record;
    record.rom = rom;
    record.cells[Name].text = name;
    record.cells[Serial].text = "stored serial";
    return record;
}

const RomCode romA = MakeRom(0x28, 0xA1);
const RomCode romB = MakeRom(0x28, 0xB2);
const RomCode romC = MakeRom(0x10, 0xC3);

TEST(MergeRows, MatchedRecordTakesTheRowAndKeepsItsName) {
    SensorList window{windowRecord(romA, "Кухня")};
    MergeRows(window, {monitorRow(romA, "21.5 °C")});
    ASSERT_EQ(window.size(), 1u);
    const SensorRecord& merged = window[0];
    EXPECT_EQ(merged.present, 1);
    EXPECT_EQ(merged.cells[Name].text, "Кухня");
    EXPECT_EQ(merged.cells[Name].changed, TextChanged);
    EXPECT_EQ(merged.cells[Serial].text, "serial");
    EXPECT_EQ(merged.cells[Temperature].text, "21.5 °C");
    EXPECT_EQ(merged.cells[Temperature].color, AlarmColor);
    EXPECT_EQ(merged.cells[Temperature].changed, TextChanged | ColorChanged);
    EXPECT_EQ(merged.cells[Status].changed, TextChanged);
}

TEST(MergeRows, MissingDeviceIsMarkedNotFoundAndNewOneAppended) {
    SensorList window{windowRecord(romA, "Кухня"), windowRecord(romB, "Улица")};
    MergeRows(window, {monitorRow(romA, "1.0 °C"), monitorRow(romB, "2.0 °C")});
    MergeRows(window, {monitorRow(romC, "3.0 °C"), monitorRow(romA, "4.0 °C")});
    ASSERT_EQ(window.size(), 3u);

    EXPECT_EQ(window[0].cells[Temperature].text, "4.0 °C");
    const SensorRecord& missing = window[1];
    EXPECT_EQ(missing.present, 0);
    EXPECT_EQ(missing.cells[Name].text, "Улица");
    EXPECT_EQ(missing.cells[Status].text, "Не найден");
    EXPECT_EQ(missing.cells[Status].color, ErrorColor);
    EXPECT_EQ(missing.cells[Status].changed, TextChanged | ColorChanged);
    EXPECT_EQ(missing.cells[Temperature].text, "");
    EXPECT_EQ(missing.cells[Temperature].changed, TextChanged);
    EXPECT_EQ(missing.cells[Type].text, "DS18B20");
    EXPECT_EQ(missing.cells[Connection].text, "3 вывода");
    EXPECT_EQ(missing.cells[Serial].text, "serial");

    const SensorRecord& added = window[2];
    EXPECT_EQ(added.rom, romC);
    EXPECT_EQ(added.present, 1);
    EXPECT_EQ(added.cells[Name].text, "Новый");
    EXPECT_EQ(added.cells[Name].changed, TextChanged);
    EXPECT_EQ(added.cells[Temperature].text, "3.0 °C");
}

TEST(MergeRows, OnlyTheFirstOfTwoRecordsWithOneCodeMatches) {
    SensorList window{windowRecord(romA, "Первый"), windowRecord(romA, "Второй")};
    MergeRows(window, {monitorRow(romA, "5.0 °C")});
    ASSERT_EQ(window.size(), 2u);
    EXPECT_EQ(window[0].present, 1);
    EXPECT_EQ(window[0].cells[Temperature].text, "5.0 °C");
    EXPECT_EQ(window[1].present, 0);
    EXPECT_EQ(window[1].cells[Status].text, "Не найден");
}

TEST(MergeRows, EmptyRowsMarkEveryRecordNotFound) {
    SensorList window{windowRecord(romA, "a"), windowRecord(romB, "b")};
    MergeRows(window, {});
    for (const SensorRecord& record : window) {
        EXPECT_EQ(record.present, 0);
        EXPECT_EQ(record.cells[Status].text, "Не найден");
    }
}

class MailboxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MonitorMailbox drain;
        TakeOverMailbox(drain);
    }
    monitor_test::WindowRecorder window;
};

TEST_F(MailboxTest, NothingToPublishPostsNothing) {
    MonitorMailbox pending;
    PublishUpdate(pending);
    EXPECT_EQ(window.events(), 0);
    MonitorMailbox copy;
    TakeOverMailbox(copy);
    EXPECT_EQ(copy.changes, 0);
}

TEST_F(MailboxTest, PublishedRowsAndStatusAreTakenOverOnce) {
    MonitorMailbox pending;
    pending.rows = {monitorRow(romA, "1.0 °C")};
    pending.statusText = "Порт открыт";
    pending.changes = RowsChanged | StatusChanged;
    PublishUpdate(pending);
    EXPECT_EQ(pending.changes, 0);
    EXPECT_EQ(window.events(), 1);
    pending.rows[0].cells[Temperature].text = "changed after publishing";

    MonitorMailbox copy;
    TakeOverMailbox(copy);
    EXPECT_EQ(copy.changes, RowsChanged | StatusChanged);
    ASSERT_EQ(copy.rows.size(), 1u);
    EXPECT_EQ(copy.rows[0].cells[Temperature].text, "1.0 °C");
    EXPECT_EQ(copy.statusText, "Порт открыт");

    MonitorMailbox again;
    TakeOverMailbox(again);
    EXPECT_EQ(again.changes, 0);
}

TEST_F(MailboxTest, StatusOnlyUpdateKeepsUntakenRowsNews) {
    MonitorMailbox pending;
    pending.rows = {monitorRow(romA, " ")};
    pending.changes = RowsChanged;
    PublishUpdate(pending);
    pending.statusText = "Нет ответа от '1-Wire' устройств";
    pending.changes = StatusChanged;
    PublishUpdate(pending);
    EXPECT_EQ(window.events(), 2);

    MonitorMailbox copy;
    TakeOverMailbox(copy);
    EXPECT_EQ(copy.changes, RowsChanged | StatusChanged);
    ASSERT_EQ(copy.rows.size(), 1u);
    EXPECT_EQ(copy.statusText, "Нет ответа от '1-Wire' устройств");
}

}  // namespace
