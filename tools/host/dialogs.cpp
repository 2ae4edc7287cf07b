#include "dialogs.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "wexlib_dialogs.h"

namespace wexhost {
namespace {

const UINT_PTR kAnnounceTimer = 1, kCloseTimer = 2;
const WORD kEnglishUs = 1033;

struct Session {
    const std::string* name = nullptr;
    const DialogShow* how = nullptr;
    DialogOutcome* outcome = nullptr;
    bool hasPicture = false;
    PictureSpecifier picture;
};

Session* SessionOf(HWND dialog) { return reinterpret_cast<Session*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

std::string TextOf(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::vector<char> text(length + 1);
    GetWindowTextA(window, text.data(), length + 1);
    return text.data();
}

BOOL CALLBACK FillControl(HWND control, LPARAM data) {
    Session& s = *reinterpret_cast<Session*>(data);
    ++s.outcome->controls;
    int id = GetDlgCtrlID(control);
    std::string text = TextOf(control);
    if (id == IDC_PICTURE && ParsePictureSpecifier(text.c_str(), s.picture)) {
        // The specifier names a picture of the host's; this host paints its
        // background colours in its place.
        s.hasPicture = true;
        LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
        SetWindowLongPtrA(control, GWL_STYLE, (style & ~static_cast<LONG_PTR>(SS_TYPEMASK)) | SS_OWNERDRAW);
        s.outcome->filled.push_back(std::to_string(id) + ": picture " + std::to_string(s.picture.pictureId));
    } else if (text.find("%p") != std::string::npos) {
        std::string filled = FillPlaceholders(text, s.how->product);
        SetWindowTextA(control, filled.c_str());
        s.outcome->filled.push_back(std::to_string(id) + ": " + filled);
    }
    return TRUE;
}

void PaintPicture(const Session& s, const DRAWITEMSTRUCT& item) {
    const RECT& r = item.rcItem;
    int height = r.bottom - r.top;
    for (int row = 0; row < height; ++row) {
        auto mix = [&](int a, int b) { return a + (b - a) * row / (height > 1 ? height - 1 : 1); };
        COLORREF c = RGB(mix(GetRValue(s.picture.top), GetRValue(s.picture.bottom)),
                         mix(GetGValue(s.picture.top), GetGValue(s.picture.bottom)),
                         mix(GetBValue(s.picture.top), GetBValue(s.picture.bottom)));
        HBRUSH brush = CreateSolidBrush(c);
        RECT line = {r.left, r.top + row, r.right, r.top + row + 1};
        FillRect(item.hDC, &line, brush);
        DeleteObject(brush);
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        Session& s = *reinterpret_cast<Session*>(lParam);
        s.outcome->caption = TextOf(dialog);
        EnumChildWindows(dialog, FillControl, lParam);
        if (s.how->announce) SetTimer(dialog, kAnnounceTimer, 100, nullptr);
        if (s.how->closeAfterMs) SetTimer(dialog, kCloseTimer, s.how->closeAfterMs, nullptr);
        return TRUE;
    }
    case WM_DRAWITEM: {
        Session* s = SessionOf(dialog);
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (!s || wParam != IDC_PICTURE || !s->hasPicture) return FALSE;
        PaintPicture(*s, item);
        return TRUE;
    }
    case WM_MEASUREITEM:
        // The owner-drawn lists hold no items until a host adds some.
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = 16;
        return TRUE;
    case WM_TIMER:
        if (wParam == kAnnounceTimer && IsWindowVisible(dialog)) {
            KillTimer(dialog, kAnnounceTimer);
            SetForegroundWindow(dialog);
            RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW | RDW_ALLCHILDREN);
            GdiFlush();
            RECT r;
            GetWindowRect(dialog, &r);
            std::printf("shown %s %ld %ld %ld %ld\n", SessionOf(dialog)->name->c_str(), static_cast<long>(r.left),
                        static_cast<long>(r.top), static_cast<long>(r.right - r.left), static_cast<long>(r.bottom - r.top));
            std::fflush(stdout);
        } else if (wParam == kCloseTimer) {
            EndDialog(dialog, 0);
        }
        return TRUE;
    case WM_COMMAND:
        // The navigation row and the hidden button end the page with their id.
        if (HIWORD(wParam) == BN_CLICKED) {
            WORD id = LOWORD(wParam);
            if (id == IDOK || id == IDCANCEL || id == IDC_CANCEL || id == IDC_BACK) EndDialog(dialog, id);
        }
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

bool ParsePictureSpecifier(const char* text, PictureSpecifier& out) {
    int id = 0, a = 0, b = 0, r1 = 0, g1 = 0, b1 = 0, r2 = 0, g2 = 0, b2 = 0, used = 0;
    if (std::sscanf(text, "@%d;%d;%d;%d,%d,%d;%d,%d,%d%n", &id, &a, &b, &r1, &g1, &b1, &r2, &g2, &b2, &used) != 9 ||
        text[used] != '\0') {
        return false;
    }
    for (int c : {r1, g1, b1, r2, g2, b2}) {
        if (c < 0 || c > 255) return false;
    }
    out.pictureId = id;
    out.top = RGB(r1, g1, b1);
    out.bottom = RGB(r2, g2, b2);
    return true;
}

std::string FillPlaceholders(const std::string& text, const std::string& product) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "%p") == 0) {
            out += product;
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

DialogOutcome ShowDialogTemplate(HMODULE dll, const std::string& name, const DialogShow& how) {
    DialogOutcome outcome;
    HRSRC found = FindResourceExA(dll, RT_DIALOG, name.c_str(), kEnglishUs);
    HGLOBAL loaded = found ? LoadResource(dll, found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        outcome.error = "no dialog template " + name + " in language 1033 (error " + std::to_string(GetLastError()) + ")";
        return outcome;
    }
    Session session;
    session.name = &name;
    session.how = &how;
    session.outcome = &outcome;
    outcome.result = DialogBoxIndirectParamA(dll, static_cast<LPCDLGTEMPLATEA>(bytes), nullptr, DialogProc,
                                             reinterpret_cast<LPARAM>(&session));
    if (outcome.result == -1) outcome.error = "the dialog manager refused " + name + " (error " + std::to_string(GetLastError()) + ")";
    return outcome;
}

}  // namespace wexhost
