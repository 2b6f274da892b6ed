// The modal message box and the one-line prompt, a dialog built in memory.
#include "platform/window_win32/window_dialogs.h"

#include <vector>

#include "platform/window_win32/window_state.h"

namespace platform {

const wchar_t* const PromptProperty = L"KelvarianPrompt";

namespace {

// A dialog template: a DLGTEMPLATE and its items, each item on a 4-byte
// boundary, texts as zero-ended UTF-16, sizes in dialog units.
class DialogTemplate {
  public:
    DialogTemplate(DWORD style, short width, short height, WORD items) {
        Dword(style);
        Dword(0);
        words.push_back(items);
        Short(0), Short(0), Short(width), Short(height);
        words.push_back(0);  // no menu
        words.push_back(0);  // the standard dialog class
        Text(L"");           // the title is set when the dialog opens
        words.push_back(8);  // DS_SETFONT: 8 points
        Text(L"MS Shell Dlg");
    }

    // `type` is the predefined class atom: 0x80 button, 0x81 edit, 0x82 static.
    void Item(WORD type, WORD id, DWORD style, short x, short y, short width, short height) {
        if (words.size() % 2 != 0) words.push_back(0);
        Dword(WS_CHILD | WS_VISIBLE | style);
        Dword(0);
        Short(x), Short(y), Short(width), Short(height);
        words.push_back(id);
        words.push_back(0xFFFF);
        words.push_back(type);
        Text(L"");
        words.push_back(0);  // no creation data
    }

    LPCDLGTEMPLATEW Data() const { return reinterpret_cast<LPCDLGTEMPLATEW>(words.data()); }

  private:
    void Dword(DWORD value) {
        words.push_back(LOWORD(value));
        words.push_back(HIWORD(value));
    }
    void Short(short value) { words.push_back(static_cast<WORD>(value)); }
    void Text(const wchar_t* text) {
        while (*text != L'\0') words.push_back(static_cast<WORD>(*text++));
        words.push_back(0);
    }

    std::vector<WORD> words;
};

struct PromptState {
    std::wstring title;
    std::wstring message;
    std::wstring text;
};

INT_PTR CALLBACK PromptProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<PromptState*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            state = reinterpret_cast<PromptState*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            SetPropW(dialog, PromptProperty, reinterpret_cast<HANDLE>(1));
            SetWindowTextW(dialog, state->title.c_str());
            SetDlgItemTextW(dialog, PromptMessageId, state->message.c_str());
            SetDlgItemTextW(dialog, PromptEditId, state->text.c_str());
            SetDlgItemTextW(dialog, IDOK, Wide("ОК").c_str());
            SetDlgItemTextW(dialog, IDCANCEL, Wide("Отмена").c_str());
            SendDlgItemMessageW(dialog, PromptEditId, EM_SETSEL, 0, -1);
            SetFocus(GetDlgItem(dialog, PromptEditId));
            return FALSE;  // the focus is set
        case WM_COMMAND:
            // Escape and the close button arrive as IDCANCEL, Enter as IDOK.
            if (LOWORD(wParam) == IDOK && state != nullptr) {
                state->text = WindowText(GetDlgItem(dialog, PromptEditId));
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            RemovePropW(dialog, PromptProperty);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

void ShowMessageBox(std::string_view title, std::string_view text) {
    MessageBoxW(Layer().window, Wide(text).c_str(), Wide(title).c_str(), MB_OK);
}

std::string PromptText(std::string_view title, std::string_view message,
                       std::string_view initialText) {
    WindowLayer& layer = Layer();
    DialogTemplate prompt(DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU,
                          200, 62, 4);
    prompt.Item(0x82, PromptMessageId, SS_LEFT | SS_NOPREFIX, 7, 7, 186, 9);
    prompt.Item(0x81, PromptEditId, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7, 19, 186, 14);
    prompt.Item(0x80, IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 89, 41, 50, 14);
    prompt.Item(0x80, IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 143, 41, 50, 14);
    PromptState state{Wide(title), Wide(message), Wide(initialText)};
    const INT_PTR result = DialogBoxIndirectParamW(layer.instance, prompt.Data(), layer.window,
                                                   &PromptProcedure,
                                                   reinterpret_cast<LPARAM>(&state));
    if (result != IDOK || layer.terminationRequested) return {};
    return Utf8(state.text);
}

}  // namespace platform
