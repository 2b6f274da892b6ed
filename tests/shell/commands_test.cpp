// Rename, remove missing, move by drag and drop, the pop-up menu and the
// About box, through the real dialogs and list view.
#include <functional>
#include <vector>

#include "monitor/mailbox.h"
#include "platform/window/window_testing.h"
#include "shell/main_window.h"
#include "shell/shell_state.h"
#include "shell_fixture.h"

namespace shell_test {
namespace {

using platform::DragData;

std::string Names() {
    std::string names;
    for (const monitor::SensorRecord& record : shell::State().sensors) {
        names += record.cells[monitor::Name].text + ",";
    }
    return names;
}

std::string ShownNames() {
    std::string names;
    for (int row = 0; row < platform::ListRowCount(shell::SensorView); ++row) {
        names += platform::ListCellText(shell::SensorView, row, monitor::Name) + ",";
    }
    return names;
}

class CommandsTest : public ShellTest {
  protected:
    void StartWithFiveSensors() {
        std::string lines = "[Sensors]\nCount = 5\n";
        for (int i = 0; i < 5; ++i) {
            lines +=
                StoredSensorLines(i + 1, static_cast<std::uint8_t>(0x10 + i), std::to_string(i));
        }
        WriteSettings(lines);
        Start();
    }

    void DropOnRow(int row, DragData data) {
        platform::DropOnListRow(shell::SensorView, row, data);
    }

    // Chooses "Переименовать" for `row`; `answer` acts on the open prompt.
    void Rename(int row, std::function<void()> answer) {
        platform::SelectListRow(shell::SensorView, row);
        platform::WhenModalOpens([answer] {
            ASSERT_EQ(platform::OpenModal().kind, platform::ModalKind::Prompt);
            answer();
        });
        platform::ChooseMenuItem(shell::RenameItem);
        EXPECT_TRUE(Pump());
    }
};

struct MoveCase {
    int source;
    int target;
    const char* order;
};

class MoveByDrop : public CommandsTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MoveByDrop, PutsTheDraggedSensorWhereItWasDropped) {
    const MoveCase c = GetParam();
    StartWithFiveSensors();
    const std::string before = SettingsBytes();
    platform::SelectListRow(shell::SensorView, c.source);
    shell::State().dragSourceRow = c.source;  // as the list's own drag leaves it
    DropOnRow(c.target, DragData::ListsOwn);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Names(), c.order);
    EXPECT_EQ(ShownNames(), c.order);
    EXPECT_EQ(SettingsBytes(), before) << "a move waits for the next save";
}

INSTANTIATE_TEST_SUITE_P(Drops, MoveByDrop,
                         ::testing::Values(MoveCase{4, 1, "0,4,1,2,3,"},
                                           MoveCase{1, 3, "0,2,3,1,4,"},
                                           MoveCase{0, 4, "1,2,3,4,0,"},
                                           MoveCase{2, 2, "0,1,2,3,4,"},
                                           MoveCase{2, 5, "0,1,2,3,4,"}));

TEST_F(CommandsTest, DropOfTheRowUnderTheMouseBecomesTheSelection) {
    StartWithFiveSensors();
    platform::SelectListRow(shell::SensorView, 0);
    DropOnRow(3, DragData::ListsOwn);
    EXPECT_EQ(platform::SelectedListRow(shell::SensorView), 3);
}

TEST_F(CommandsTest, DropWithoutAPendingDragChangesNothing) {
    StartWithFiveSensors();
    platform::SelectListRow(shell::SensorView, 4);
    shell::State().dragSourceRow = -1;
    DropOnRow(1, DragData::ListsOwn);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Names(), "0,1,2,3,4,");
}

TEST_F(CommandsTest, ForeignDataIsNotAccepted) {
    StartWithFiveSensors();
    platform::SelectListRow(shell::SensorView, 4);
    shell::State().dragSourceRow = 4;
    DropOnRow(1, DragData::Foreign);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Names(), "0,1,2,3,4,");
    EXPECT_EQ(platform::SelectedListRow(shell::SensorView), 4);
}

TEST_F(CommandsTest, MovedOrderReachesTheFileWithTheNextSave) {
    StartWithFiveSensors();
    platform::SelectListRow(shell::SensorView, 4);
    shell::State().dragSourceRow = 4;
    DropOnRow(1, DragData::ListsOwn);
    platform::ChooseMenuItem(shell::LogItem);
    EXPECT_TRUE(Pump());
    const persistence::SettingsRecord saved = SavedSettings();
    ASSERT_EQ(saved.sensors.size(), 5u);
    EXPECT_EQ(saved.sensors[1].name, "4");
    EXPECT_EQ(saved.sensors[1].id, monitor::RomToInt64(RomOf(0x14)));
}

TEST_F(CommandsTest, RenameStoresTheTextExactlyAsEntered) {
    StartWithFiveSensors();
    const std::string before = SettingsBytes();
    std::string title;
    std::string label;
    std::string prefilled;
    Rename(2, [&] {
        const platform::ModalDialog prompt = platform::OpenModal();
        title = prompt.title;
        label = prompt.text;
        prefilled = prompt.input;
        platform::SetPromptInput("  Котёл = 1 ");
        platform::ConfirmModal();
    });
    EXPECT_EQ(title, "Выбор имени датчика");
    EXPECT_EQ(label, "");
    EXPECT_EQ(prefilled, "2");
    EXPECT_EQ(Names(), "0,1,  Котёл = 1 ,3,4,");
    EXPECT_EQ(ShownNames(), "0,1,  Котёл = 1 ,3,4,");
    EXPECT_EQ(platform::SelectedListRow(shell::SensorView), 2);
    EXPECT_EQ(SettingsBytes(), before) << "a rename waits for the next save";
    platform::ChooseMenuItem(shell::LogItem);
    EXPECT_TRUE(Pump());
    EXPECT_NE(SettingsBytes().find("Name_3 =   Котёл = 1 \r\n"), std::string::npos);
}

TEST_F(CommandsTest, CancelledOrEmptyRenameKeepsTheOldName) {
    StartWithFiveSensors();
    Rename(1, [] {
        platform::SetPromptInput("Новое имя");
        platform::CancelModal();
    });
    Rename(1, [] {
        platform::SetPromptInput("");
        platform::ConfirmModal();
    });
    EXPECT_EQ(Names(), "0,1,2,3,4,");
}

TEST_F(CommandsTest, RenameAppliesToItsRecordWhenTheListGrowsMeanwhile) {
    StartWithFiveSensors();
    Rename(3, [] {
        Publish({MonitorRow(0x99, "1.0 °C", "OK")}, "", monitor::RowsChanged);
        platform::DispatchPendingWork();  // the merge runs while the prompt is open
        platform::SetPromptInput("Третий");
        platform::ConfirmModal();
    });
    EXPECT_EQ(Names(), "0,1,2,Третий,4,Новый,");
}

TEST_F(CommandsTest, RemoveMissingKeepsOnlyPresentSensorsInOrder) {
    StartWithFiveSensors();
    Publish({MonitorRow(0x13, "3.0 °C", "OK"), MonitorRow(0x11, "1.0 °C", "OK"),
             MonitorRow(0x77, "7.0 °C", "OK")},
            "", monitor::RowsChanged);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Names(), "0,1,2,3,4,Новый,");
    const std::string before = SettingsBytes();
    platform::ChooseMenuItem(shell::RemoveMissingItem);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Names(), "1,3,Новый,");
    EXPECT_EQ(ShownNames(), "1,3,Новый,");
    EXPECT_EQ(SettingsBytes(), before);
}

TEST_F(CommandsTest, RemoveMissingBeforeAnyMergeEmptiesTheList) {
    StartWithFiveSensors();
    platform::ChooseMenuItem(shell::RemoveMissingItem);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(platform::ListRowCount(shell::SensorView), 0);
    EXPECT_TRUE(shell::State().sensors.empty());
}

TEST_F(CommandsTest, RightClickShowsThePopupOnlyWithASelectedRow) {
    StartWithFiveSensors();
    platform::SelectListRow(shell::SensorView, -1);
    platform::RightClickListRow(shell::SensorView, -1);
    EXPECT_TRUE(Pump());
    EXPECT_TRUE(platform::OpenPopupMenuItems().empty());

    platform::SelectListRow(shell::SensorView, 1);
    platform::RightClickListRow(shell::SensorView, 0);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(platform::OpenPopupMenuItems(),
              (std::vector<std::string>{"Переименовать", "Удалить не найденные"}));
    platform::ClosePopupMenu();
}

TEST_F(CommandsTest, AboutBoxShowsTwoLinesAndOneButton) {
    Start();
    std::string title;
    std::string text;
    int buttons = 0;
    bool hasIcon = true;
    platform::WhenModalOpens([&] {
        const platform::ModalDialog box = platform::OpenModal();
        ASSERT_EQ(box.kind, platform::ModalKind::MessageBox);
        title = box.title;
        text = box.text;
        buttons = box.buttons;
        hasIcon = box.hasIcon;
        platform::ConfirmModal();
    });
    platform::ChooseMenuItem(shell::AboutItem);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(title, "О программе");
    EXPECT_EQ(text,
              "Мониторинг температуры с использованием DS18x20.\n"
              "E-Mail: kelvarian@users.noreply.example");
    EXPECT_EQ(buttons, 1);
    EXPECT_FALSE(hasIcon);
}

}  // namespace
}  // namespace shell_test
