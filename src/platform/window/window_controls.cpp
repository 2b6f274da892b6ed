// Labels, the drop-down list, spin fields, the check box and the frame.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

#include "platform/window/window_state.h"

namespace platform {
namespace {

// QSpinBox reports only the new value; which arrow changed it is visible
// nowhere but in stepBy, so this is the one place a subclass is needed.
class SteppingSpinBox : public QSpinBox {
  public:
    SteppingSpinBox(int id, QWidget* parent) : QSpinBox(parent), controlId(id) {}

    // Read-only only in its text: QAbstractSpinBox::setReadOnly would also
    // disable the arrows.
    void setTextEditable(bool editable) { lineEdit()->setReadOnly(!editable); }

    void stepBy(int steps) override {
        QSpinBox::stepBy(steps);
        if (steps != 0) {
            ReportControlEvent(controlId,
                               steps > 0 ? EventType::SteppedUp : EventType::SteppedDown);
        }
    }

  private:
    int controlId;
};

bool Place(int id, ControlKind kind, QWidget* widget, Rect rect) {
    widget->setGeometry(rect.x, rect.y, rect.width, rect.height);
    widget->setObjectName(QStringLiteral("control%1").arg(id));
    widget->show();
    Layer().controls[id] = Control{kind, widget};
    return true;
}

bool Creatable(int id, int parent) {
    return ParentWidget(parent) != nullptr && Layer().controls.count(id) == 0;
}

QComboBox* DropDown(int id) {
    return static_cast<QComboBox*>(FindControl(id, ControlKind::DropDownList));
}
QSpinBox* Spin(int id) {
    return static_cast<QSpinBox*>(FindControl(id, ControlKind::SpinField));
}
QCheckBox* Check(int id) {
    return static_cast<QCheckBox*>(FindControl(id, ControlKind::CheckBox));
}

}  // namespace

bool CreateLabel(int id, int parent, std::string_view text, Rect rect) {
    if (!Creatable(id, parent)) return false;
    auto* label = new QLabel(ToQString(text), ParentWidget(parent));
    return Place(id, ControlKind::Label, label, rect);
}

bool CreateDropDownList(int id, int parent, Rect rect) {
    if (!Creatable(id, parent)) return false;
    auto* list = new QComboBox(ParentWidget(parent));
    list->setEditable(false);
    list->setMaxVisibleItems(30);
    // activated: the user's choice, also of the entry already selected (a way
    // to retry a port); programmatic selection reports nothing.
    QObject::connect(list, &QComboBox::activated, list,
                     [id](int) { ReportControlEvent(id, EventType::SelectionChanged); });
    return Place(id, ControlKind::DropDownList, list, rect);
}

bool CreateSpinField(int id, int parent, Rect rect, int minimum, int maximum, bool editable) {
    if (!Creatable(id, parent)) return false;
    auto* spin = new SteppingSpinBox(id, ParentWidget(parent));
    spin->setRange(minimum, maximum);
    spin->setTextEditable(editable);
    QObject::connect(spin, &QSpinBox::valueChanged, spin,
                     [id](int) { ReportControlEvent(id, EventType::ValueChanged); });
    return Place(id, ControlKind::SpinField, spin, rect);
}

bool CreateCheckBox(int id, int parent, std::string_view text, Rect rect) {
    if (!Creatable(id, parent)) return false;
    auto* check = new QCheckBox(ToQString(text), ParentWidget(parent));
    QObject::connect(check, &QCheckBox::clicked, check,
                     [id](bool) { ReportControlEvent(id, EventType::Clicked); });
    return Place(id, ControlKind::CheckBox, check, rect);
}

bool CreateFrame(int id, int parent, Rect rect) {
    if (!Creatable(id, parent)) return false;
    auto* frame = new QFrame(ParentWidget(parent));
    frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    frame->setLineWidth(1);
    return Place(id, ControlKind::Frame, frame, rect);
}

Rect ControlRect(int id) {
    const auto found = Layer().controls.find(id);
    if (found == Layer().controls.end()) return {};
    const QRect g = found->second.widget->geometry();
    return {g.x(), g.y(), g.width(), g.height()};
}

void SetControlRect(int id, Rect rect) {
    const auto found = Layer().controls.find(id);
    if (found != Layer().controls.end()) {
        found->second.widget->setGeometry(rect.x, rect.y, rect.width, rect.height);
    }
}

int TextWidth(int id) {
    if (auto* label = static_cast<QLabel*>(FindControl(id, ControlKind::Label))) {
        return label->fontMetrics().horizontalAdvance(label->text());
    }
    if (QCheckBox* check = Check(id)) return check->sizeHint().width();  // box, gap and text
    return 0;
}

void SetToolTip(int id, std::string_view text) {
    const auto found = Layer().controls.find(id);
    if (found != Layer().controls.end()) found->second.widget->setToolTip(ToQString(text));
}

void ClearDropDown(int id) {
    if (QComboBox* list = DropDown(id)) list->clear();
}

void AddDropDownEntry(int id, std::string_view text) {
    if (QComboBox* list = DropDown(id)) {
        const int selected = list->currentIndex();
        list->addItem(ToQString(text));
        // QComboBox selects the first entry added to an empty list; a fill
        // selects nothing.
        if (selected < 0) list->setCurrentIndex(-1);
    }
}

int DropDownCount(int id) {
    QComboBox* list = DropDown(id);
    return list != nullptr ? list->count() : 0;
}

std::string DropDownText(int id, int index) {
    QComboBox* list = DropDown(id);
    if (list == nullptr || index < 0 || index >= list->count()) return {};
    return ToStdString(list->itemText(index));
}

int DropDownSelection(int id) {
    QComboBox* list = DropDown(id);
    return list != nullptr ? list->currentIndex() : -1;
}

void SetDropDownSelection(int id, int index) {
    QComboBox* list = DropDown(id);
    if (list == nullptr || index < -1 || index >= list->count()) return;
    list->setCurrentIndex(index);
}

void SetSpinValue(int id, int value) {
    if (QSpinBox* spin = Spin(id)) spin->setValue(value);
}

int SpinValue(int id) {
    QSpinBox* spin = Spin(id);
    return spin != nullptr ? spin->value() : 0;
}

void SetSpinRange(int id, int minimum, int maximum) {
    // QSpinBox clamps its value into the new range and reports only a change.
    if (QSpinBox* spin = Spin(id)) spin->setRange(minimum, maximum);
}

void SetChecked(int id, bool checked) {
    if (QCheckBox* check = Check(id)) check->setChecked(checked);
}

bool IsChecked(int id) {
    QCheckBox* check = Check(id);
    return check != nullptr && check->isChecked();
}

}  // namespace platform
