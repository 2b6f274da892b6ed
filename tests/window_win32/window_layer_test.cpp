// The Win32 layer's controls as the user meets them: the colours the list
// really paints, a spin field holding a value its first range did not allow,
// a row dragged onto another, and the end of a Windows session.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/window_win32/window_testing_win32.h"

namespace {

using platform::EventKind;
using platform::EventType;

constexpr int List = 6;
constexpr int Spin = 5;
constexpr std::int32_t LightRed = 0x008888FD;
constexpr std::int32_t LightYellow = 0x00ABF9FF;

class WindowLayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::InitWindowSystem());
        ASSERT_TRUE(platform::CreateMainWindow("Проверка", 500, 300));
        ASSERT_TRUE(platform::CreateListView(List, platform::ClientArea, {2, 32, 496, 200}));
        for (const char* title : {"Имя", "Температура", "Статус"}) {
            platform::AddListColumn(List, title, 120);
        }
        ASSERT_TRUE(platform::CreateSpinField(Spin, platform::ClientArea, {4, 4, 60, 22}, -55, 125,
                                              false));
        platform::ShowMainWindow();
        platform::DispatchPendingWork();
    }
    void TearDown() override { platform::DestroyMainWindow(); }

    // The events the layer queued since the last call.
    static std::vector<platform::Event> Events() {
        std::vector<platform::Event> events;
        platform::Event event;
        while (platform::PollEvent(event)) events.push_back(event);
        return events;
    }
};

TEST_F(WindowLayerTest, CellsKeepTheirTextsAndPaintTheirOwnColours) {
    platform::ResetListRows(List, 3);
    platform::SetListCellText(List, 1, 2, "Не найден");
    platform::SetListCellText(List, 2, 0, "Котёл");
    platform::SetListCellColor(List, 1, 2, LightRed);
    platform::SetListCellColor(List, 2, 1, LightYellow);
    EXPECT_EQ(platform::ListCellText(List, 1, 2), "Не найден");
    EXPECT_EQ(platform::ListCellText(List, 2, 0), "Котёл");
    EXPECT_EQ(platform::ListCellText(List, 0, 0), "");
    EXPECT_EQ(platform::ListCellColor(List, 1, 2), LightRed);
    EXPECT_EQ(platform::ListCellColor(List, 2, 1), LightYellow);
    EXPECT_EQ(platform::ListCellColor(List, 1, 1), -1) << "the neighbour keeps the list's colours";
    EXPECT_EQ(platform::ListCellColor(List, 2, 2), -1);

    platform::SetListCellColor(List, 1, 2, -1);
    EXPECT_EQ(platform::ListCellColor(List, 1, 2), -1);
    // New rows start with empty texts and the list's colours.
    platform::ResetListRows(List, 3);
    EXPECT_EQ(platform::ListCellText(List, 2, 0), "");
    EXPECT_EQ(platform::ListCellColor(List, 2, 1), -1);
    // Cells outside the rows and columns are ignored, not crashed on.
    platform::SetListCellText(List, 3, 0, "x");
    platform::SetListCellColor(List, 0, 3, LightRed);
    EXPECT_EQ(platform::ListRowCount(List), 3);
}

TEST_F(WindowLayerTest, SpinHoldsAValueOutsideItsFirstRangeOnceTheRangeWidens) {
    platform::SetSpinValue(Spin, 130);
    EXPECT_EQ(platform::SpinValue(Spin), 125) << "clamped into -55..125";
    Events();

    platform::SetSpinRange(Spin, -55, 130);
    EXPECT_TRUE(Events().empty()) << "a widened range keeps the value without an event";
    platform::SetSpinValue(Spin, 130);
    EXPECT_EQ(platform::SpinValue(Spin), 130);
    EXPECT_EQ(platform::SpinText(Spin), "130");
    std::vector<platform::Event> events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EventType::ValueChanged);

    // The arrows stop at the range's end, and step within it.
    platform::PressSpinArrow(Spin, platform::SpinArrow::Up);
    EXPECT_EQ(platform::SpinValue(Spin), 130);
    EXPECT_TRUE(Events().empty());
    platform::PressSpinArrow(Spin, platform::SpinArrow::Down);
    EXPECT_EQ(platform::SpinValue(Spin), 129);
    EXPECT_EQ(platform::SpinText(Spin), "129");
    events = Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, EventType::ValueChanged);
    EXPECT_EQ(events[1].type, EventType::SteppedDown);

    // A narrower range clamps the value, and says so once.
    platform::SetSpinRange(Spin, -55, 100);
    EXPECT_EQ(platform::SpinValue(Spin), 100);
    EXPECT_EQ(platform::SpinText(Spin), "100");
    events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, EventType::ValueChanged);
}

bool dragMoved = false;

void DragAsTheShellDoes() {
    dragMoved = platform::StartPrivateDrag(List);
}

struct DragCase {
    int from;
    int to;
    bool moved;
    int selectedAfter;
};

class RowDrag : public WindowLayerTest, public ::testing::WithParamInterface<DragCase> {};

// The drag ends where the button is released: on a row, that row is selected
// before the drop is reported; below the rows the selection stays.
TEST_P(RowDrag, EndsWithTheRowUnderTheMouseSelected) {
    const DragCase c = GetParam();
    platform::ResetListRows(List, 5);
    platform::BindControlHandler(List, EventType::DragStart, &DragAsTheShellDoes);
    dragMoved = false;
    platform::PressAndDragListRow(List, c.from, c.to);
    EXPECT_EQ(dragMoved, c.moved);
    EXPECT_EQ(platform::SelectedListRow(List), c.selectedAfter);
    const std::vector<platform::Event> events = Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::Drop);
    EXPECT_EQ(events[0].id, List);
    EXPECT_EQ(events[0].type, EventType::PrivateData);
}

INSTANTIATE_TEST_SUITE_P(Rows, RowDrag,
                         ::testing::Values(DragCase{4, 1, true, 1}, DragCase{1, 3, true, 3},
                                           DragCase{2, -1, true, 2}));

// The event loop takes a queued event before it reads another message, so
// the release is still waiting when the drag starts.
TEST_F(WindowLayerTest, DragStartQueuedForTheEventLoopStillEndsAtTheRelease) {
    platform::ResetListRows(List, 5);
    platform::PressAndDragListRow(List, 0, 2);
    EXPECT_EQ(platform::WaitEvent().type, EventType::DragStart);
    EXPECT_TRUE(platform::StartPrivateDrag(List));
    EXPECT_EQ(platform::SelectedListRow(List), 2);
}

// The prompt is the layer's own dialog: its buttons speak Russian whatever
// the system's language, and Enter keeps the typed text.
TEST_F(WindowLayerTest, PromptSpeaksRussianAndReturnsTheConfirmedText) {
    std::string ok;
    std::string cancel;
    platform::WhenModalOpens([&] {
        ok = platform::ModalButtonText(IDOK);
        cancel = platform::ModalButtonText(IDCANCEL);
        platform::SetPromptInput("Котёл №2");
        platform::ConfirmModal();
    });
    EXPECT_EQ(platform::PromptText("Выбор имени датчика", "", "Котёл"), "Котёл №2");
    EXPECT_EQ(ok, "\u041E\u041A");  // "ОК", Cyrillic letters
    EXPECT_EQ(cancel, "\u041E\u0442\u043C\u0435\u043D\u0430");  // "Отмена"
}

// Other test programs under the same Wine desktop run their own main windows
// of this class; a message sent to one of theirs would end that program.
HWND OwnMainWindow() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM out) -> BOOL {
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) != L"KelvarianMainWindow") return TRUE;
            *reinterpret_cast<HWND*>(out) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Log-off and restart ask every program whether the session may end; the
// answer is yes, and the program's normal shutdown (the settings saved)
// starts at once.
TEST_F(WindowLayerTest, EndOfTheSessionReadsAsAClose) {
    HWND window = OwnMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_TRUE(platform::TerminationRequested());
    EXPECT_EQ(platform::WaitEvent().kind, EventKind::Close);
}

}  // namespace
