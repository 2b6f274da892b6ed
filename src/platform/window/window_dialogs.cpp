// The modal message box and the one-line prompt.
#include <QInputDialog>
#include <QMainWindow>
#include <QMessageBox>

#include "platform/window/window_state.h"

namespace platform {

void ShowMessageBox(std::string_view title, std::string_view text) {
    QMessageBox box(QMessageBox::NoIcon, ToQString(title), ToQString(text), QMessageBox::Ok,
                    Layer().window);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

std::string PromptText(std::string_view title, std::string_view message,
                       std::string_view initialText) {
    QInputDialog prompt(Layer().window);
    prompt.setWindowModality(Qt::ApplicationModal);
    prompt.setInputMode(QInputDialog::TextInput);
    prompt.setWindowTitle(ToQString(title));
    prompt.setLabelText(ToQString(message));
    prompt.setTextValue(ToQString(initialText));
    if (prompt.exec() != QDialog::Accepted || Layer().terminationRequested) return {};
    return ToStdString(prompt.textValue());
}

}  // namespace platform
