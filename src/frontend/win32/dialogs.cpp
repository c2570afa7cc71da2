// Dialogs on Windows: the templates are the resource script's dialogs 143,
// 144 and 145; the logic's dialog procedures sit behind one dialog
// procedure of Windows' own kind. And the open-file dialog.
#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <string>
#include <vector>

#include "frontend/dialog.h"
#include "frontend/platform.h"
#include "frontend/resources.h"
#include "machine/settings.h"
#include "frontend/win32/win32_platform.h"

namespace koru {

namespace {

class Win32Dialog : public DialogWindow {
public:
    explicit Win32Dialog(const DialogProcedure& procedure) : procedure_(procedure) {}
    ~Win32Dialog() override {
        for (HBITMAP picture : pictures_) DeleteObject(picture);
    }

    void SetItemText(int id, const char* text) override { SetDlgItemTextA(window_, id, text); }

    std::string GetItemText(int id, int maxLength) override {
        std::vector<char> text(static_cast<size_t>(maxLength) + 1, 0);
        const UINT length = GetDlgItemTextA(window_, id, text.data(), maxLength + 1);
        return std::string(text.data(), length);
    }

    void CheckButton(int id, bool checked) override {
        CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }

    bool IsButtonChecked(int id) override { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }

    void SetScrollRange(int id, int minimum, int maximum) override {
        ::SetScrollRange(GetDlgItem(window_, id), SB_CTL, minimum, maximum, TRUE);
    }

    void SetScrollPos(int id, int position) override {
        ::SetScrollPos(GetDlgItem(window_, id), SB_CTL, position, TRUE);
    }

    int GetScrollPos(int id) override { return ::GetScrollPos(GetDlgItem(window_, id), SB_CTL); }

    void EndDialog(int result) override { ::EndDialog(window_, result); }

    static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            auto* dialog = reinterpret_cast<Win32Dialog*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            dialog->window_ = window;
            dialog->Prepare();
            if (dialog->procedure_.init) dialog->procedure_.init(*dialog);
            return TRUE;
        }
        auto* dialog = reinterpret_cast<Win32Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
        if (!dialog) return FALSE;
        const DialogProcedure& procedure = dialog->procedure_;
        switch (message) {
            case WM_COMMAND:
                if (procedure.command) procedure.command(*dialog, LOWORD(wParam));
                return TRUE;
            case WM_CLOSE:
                if (!procedure.close) return FALSE;
                procedure.close(*dialog);
                return TRUE;
            case WM_HSCROLL:
                if (!procedure.hscroll || !lParam) return FALSE;
                procedure.hscroll(*dialog, GetDlgCtrlID(reinterpret_cast<HWND>(lParam)), LOWORD(wParam),
                                  static_cast<int>(HIWORD(wParam)));
                return TRUE;
            default:
                return FALSE;
        }
    }

private:
    // What the resource script cannot say: the edit field takes no longer
    // a name than a path may be, and the pictures lie on the dialog's own
    // face colour, whatever the user's colour scheme.
    void Prepare() {
        EnumChildWindows(window_, PrepareControl, reinterpret_cast<LPARAM>(this));
    }

    static BOOL CALLBACK PrepareControl(HWND control, LPARAM self) {
        auto* dialog = reinterpret_cast<Win32Dialog*>(self);
        char kind[16] = "";
        GetClassNameA(control, kind, sizeof kind);
        const LONG style = GetWindowLongA(control, GWL_STYLE);
        if (lstrcmpiA(kind, "Edit") == 0) {
            SendMessageA(control, EM_LIMITTEXT, MaxPathLength, 0);
        } else if (lstrcmpiA(kind, "Static") == 0 && (style & SS_TYPEMASK) == SS_BITMAP) {
            if (HBITMAP picture = OnFace("LOGO")) {
                dialog->pictures_.push_back(picture);
                SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
            }
        }
        return TRUE;
    }

    // The bitmap resource (32 bits with alpha) laid on the face colour.
    static HBITMAP OnFace(const char* name) {
        auto picture = static_cast<HBITMAP>(LoadImageA(win32::Instance, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        if (!picture) return nullptr;
        DIBSECTION section;
        if (GetObjectA(picture, sizeof section, &section) != sizeof section || section.dsBm.bmBitsPixel != 32 ||
            !section.dsBm.bmBits) {
            return picture;
        }
        const COLORREF face = GetSysColor(COLOR_3DFACE);
        const int faceRgb[3] = {GetBValue(face), GetGValue(face), GetRValue(face)};  // as the bytes lie
        auto* bytes = static_cast<uint8_t*>(section.dsBm.bmBits);
        const size_t count = static_cast<size_t>(section.dsBm.bmWidth) * static_cast<size_t>(section.dsBm.bmHeight);
        for (size_t i = 0; i < count; ++i) {
            uint8_t* pixel = bytes + 4 * i;
            const int alpha = pixel[3];
            for (int c = 0; c < 3; ++c) pixel[c] = static_cast<uint8_t>((pixel[c] * alpha + faceRgb[c] * (255 - alpha) + 127) / 255);
            pixel[3] = 0xFF;
        }
        return picture;
    }

    const DialogProcedure& procedure_;
    HWND window_ = nullptr;
    std::vector<HBITMAP> pictures_;
};

// "Description\0pattern\0...\0\0", as the open-file dialog takes filters.
std::string FilterText(FileFilter filter) {
    std::string text;
    for (const FilterPair* pair = FilterPairs(filter); pair->description; ++pair) {
        text += pair->description;
        text += '\0';
        text += pair->pattern;
        text += '\0';
    }
    text += '\0';
    return text;
}

// The open-file request is the short form Windows has always taken: 76
// bytes on 32-bit Windows.
static_assert(sizeof(void*) != 4 || offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR) == 76);

}  // namespace

namespace platform {

int RunDialog(const DialogTemplate& dialog, const DialogProcedure& procedure) {
    Win32Dialog window(procedure);
    return static_cast<int>(DialogBoxParamA(win32::Instance, MAKEINTRESOURCEA(dialog.resource), win32::MainWindow,
                                            Win32Dialog::Procedure, reinterpret_cast<LPARAM>(&window)));
}

bool OpenFileDialog(const char* start, FileFilter filter, FileDialogMode mode, const char* title, std::string* chosen) {
    const std::string filters = FilterText(filter);
    // Room for any path Windows gives: one longer than the program takes is
    // refused by the caller with a reason, not by the dialog in silence.
    std::vector<char> name(32768, 0);
    lstrcpynA(name.data(), start, static_cast<int>(name.size()));
    OPENFILENAMEA request{};
    request.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    request.hwndOwner = GetActiveWindow();
    request.lpstrFilter = filters.c_str();
    request.lpstrFile = name.data();
    request.nMaxFile = static_cast<DWORD>(name.size());
    request.lpstrTitle = title;
    // The file need not exist yet: Save State names a new one. The save
    // dialog asks nothing more (F7 replaces the state file without asking
    // either); it says Save where the open dialog says Open.
    request.Flags = OFN_PATHMUSTEXIST;
    const BOOL picked = mode == FileDialogMode::Save ? GetSaveFileNameA(&request) : GetOpenFileNameA(&request);
    if (!picked) return false;
    *chosen = name.data();
    return true;
}

}  // namespace platform
}  // namespace koru
