// Rename, remove missing, move by drag and drop, the pop-up menu and the
// About box, through the real dialogs and list view.
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTableWidget>
#include <QWindow>

#include "monitor/mailbox.h"
#include "platform/window/window.h"
#include "shell/main_window.h"
#include "shell/shell_state.h"
#include "shell_fixture.h"

namespace shell_test {
namespace {

constexpr const char* PrivateType = "application/x-kelvarian-private-6";

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

    QTableWidget* View() const { return Control<QTableWidget>(shell::SensorView); }

    // Drags `mime` over the window onto the row at `row` (or below the last
    // row) and drops it there, the way the window system delivers a drop.
    void DropOnRow(int row, const char* mime) {
        QTableWidget* view = View();
        const int y = row < view->rowCount() ? view->rowViewportPosition(row) + 2
                                             : view->viewport()->height() - 2;
        const QPointF at = view->viewport()->mapTo(Window(), QPoint(10, y));
        QMimeData data;
        data.setData(mime, QByteArray());
        QWindow* window = Window()->windowHandle();
        QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
    }

    void Rename(int row, std::function<void(QInputDialog*)> answer) {
        platform::SelectListRow(shell::SensorView, row);
        WhenModalOpens([answer](QWidget* modal) {
            auto* prompt = qobject_cast<QInputDialog*>(modal);
            ASSERT_NE(prompt, nullptr);
            answer(prompt);
        });
        MenuItem(shell::RenameItem)->trigger();
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
    DropOnRow(c.target, PrivateType);
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
    DropOnRow(3, PrivateType);
    EXPECT_EQ(platform::SelectedListRow(shell::SensorView), 3);
}

TEST_F(CommandsTest, DropWithoutAPendingDragChangesNothing) {
    StartWithFiveSensors();
    platform::SelectListRow(shell::SensorView, 4);
    shell::State().dragSourceRow = -1;
    DropOnRow(1, PrivateType);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Names(), "0,1,2,3,4,");
}

TEST_F(CommandsTest, ForeignDataIsNotAccepted) {
    StartWithFiveSensors();
    platform::SelectListRow(shell::SensorView, 4);
    shell::State().dragSourceRow = 4;
    DropOnRow(1, "text/plain");
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Names(), "0,1,2,3,4,");
    EXPECT_EQ(platform::SelectedListRow(shell::SensorView), 4);
}

TEST_F(CommandsTest, MovedOrderReachesTheFileWithTheNextSave) {
    StartWithFiveSensors();
    platform::SelectListRow(shell::SensorView, 4);
    shell::State().dragSourceRow = 4;
    DropOnRow(1, PrivateType);
    MenuItem(shell::LogItem)->trigger();
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
    Rename(2, [&](QInputDialog* prompt) {
        title = prompt->windowTitle().toStdString();
        label = prompt->labelText().toStdString();
        prefilled = prompt->textValue().toStdString();
        prompt->setTextValue("  Котёл = 1 ");
        prompt->accept();
    });
    EXPECT_EQ(title, "Выбор имени датчика");
    EXPECT_EQ(label, "");
    EXPECT_EQ(prefilled, "2");
    EXPECT_EQ(Names(), "0,1,  Котёл = 1 ,3,4,");
    EXPECT_EQ(ShownNames(), "0,1,  Котёл = 1 ,3,4,");
    EXPECT_EQ(platform::SelectedListRow(shell::SensorView), 2);
    EXPECT_EQ(SettingsBytes(), before) << "a rename waits for the next save";
    MenuItem(shell::LogItem)->trigger();
    EXPECT_TRUE(Pump());
    EXPECT_NE(SettingsBytes().find("Name_3 =   Котёл = 1 \r\n"), std::string::npos);
}

TEST_F(CommandsTest, CancelledOrEmptyRenameKeepsTheOldName) {
    StartWithFiveSensors();
    Rename(1, [](QInputDialog* prompt) {
        prompt->setTextValue("Новое имя");
        prompt->reject();
    });
    Rename(1, [](QInputDialog* prompt) {
        prompt->setTextValue("");
        prompt->accept();
    });
    EXPECT_EQ(Names(), "0,1,2,3,4,");
}

TEST_F(CommandsTest, RenameAppliesToItsRecordWhenTheListGrowsMeanwhile) {
    StartWithFiveSensors();
    Rename(3, [](QInputDialog* prompt) {
        Publish({MonitorRow(0x99, "1.0 °C", "OK")}, "", monitor::RowsChanged);
        QCoreApplication::processEvents();  // the merge runs while the prompt is open
        prompt->setTextValue("Третий");
        prompt->accept();
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
    MenuItem(shell::RemoveMissingItem)->trigger();
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Names(), "1,3,Новый,");
    EXPECT_EQ(ShownNames(), "1,3,Новый,");
    EXPECT_EQ(SettingsBytes(), before);
}

TEST_F(CommandsTest, RemoveMissingBeforeAnyMergeEmptiesTheList) {
    StartWithFiveSensors();
    MenuItem(shell::RemoveMissingItem)->trigger();
    EXPECT_TRUE(Pump());
    EXPECT_EQ(platform::ListRowCount(shell::SensorView), 0);
    EXPECT_TRUE(shell::State().sensors.empty());
}

TEST_F(CommandsTest, RightClickShowsThePopupOnlyWithASelectedRow) {
    StartWithFiveSensors();
    QTableWidget* view = View();
    const QPoint below(10, view->viewport()->height() - 2);
    platform::SelectListRow(shell::SensorView, -1);
    QContextMenuEvent withoutRow(QContextMenuEvent::Mouse, below,
                                 view->viewport()->mapToGlobal(below));
    QCoreApplication::sendEvent(view->viewport(), &withoutRow);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);

    platform::SelectListRow(shell::SensorView, 1);
    QContextMenuEvent onRow(QContextMenuEvent::Mouse, QPoint(10, 5),
                            view->viewport()->mapToGlobal(QPoint(10, 5)));
    QCoreApplication::sendEvent(view->viewport(), &onRow);
    EXPECT_TRUE(Pump());
    auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(popup->actions().size(), 2);
    EXPECT_EQ(popup->actions()[0]->text(), "Переименовать");
    EXPECT_EQ(popup->actions()[1]->text(), "Удалить не найденные");
    popup->close();
}

TEST_F(CommandsTest, AboutBoxShowsTwoLinesAndOneButton) {
    Start();
    std::string title;
    std::string text;
    int buttons = 0;
    bool hasIcon = true;
    WhenModalOpens([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle().toStdString();
        text = box->text().toStdString();
        buttons = static_cast<int>(box->buttons().size());
        hasIcon = box->icon() != QMessageBox::NoIcon;
        box->accept();
    });
    MenuItem(shell::AboutItem)->trigger();
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
