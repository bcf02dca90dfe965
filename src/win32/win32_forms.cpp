#include "win32/win32_forms.h"

#include <commctrl.h>

#include <vector>

namespace skarvel {

namespace {

HFONT fitted(HWND reference, const wchar_t* face, double points, bool bold, const wchar_t* sample,
             int width, int dpi) {
    HDC dc = ::GetDC(reference);
    int height = -int(points * dpi / 72.0 + 0.5);
    const int widthPx = scaled(width, dpi);
    HFONT font = nullptr;
    for (int tries = 0; tries < 8; ++tries) {
        font = ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, face);
        const HGDIOBJ old = ::SelectObject(dc, font);
        SIZE size{};
        ::GetTextExtentPoint32W(dc, sample, int(wcslen(sample)), &size);
        ::SelectObject(dc, old);
        if (size.cx <= widthPx || height >= -6) break;
        // A substitute font is often wider than the one the layout was drawn for.
        ::DeleteObject(font);
        height = int(height * double(widthPx) / size.cx);
    }
    ::ReleaseDC(reference, dc);
    return font;
}

}  // namespace

Win32Fonts::Win32Fonts(HWND reference, int dpi)
    : normal(fitted(reference, L"MS Sans Serif", 8.25, false, L"Temperature difference", 119, dpi)),
      bold(fitted(reference, L"MS Sans Serif", 8.25, true, L"Temperature difference", 119, dpi)),
      state(fitted(reference, L"Microsoft Sans Serif", 36, true, L"V.CLOUDY", 269, dpi)) {}

Win32Fonts::~Win32Fonts() {
    for (HFONT f : {normal, bold, state}) ::DeleteObject(f);
}

Win32Form::Win32Form(HWND form, const FormTable& table, int dpi) : form_(form), table_(table) {
    const auto instance = HINSTANCE(::GetWindowLongPtrW(form, GWLP_HINSTANCE));
    std::map<int, HWND> round;
    int id = kFirstId;
    for (const Control& c : table.controls) {
        const wchar_t* kind = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (c.kind) {
            case ControlKind::Line:
                style |= SS_BLACKRECT;
                break;
            case ControlKind::Label:
                // The state is shown large in the middle of its box.
                style |= SS_NOPREFIX |
                         (c.font == FontKind::State ? SS_CENTER | SS_CENTERIMAGE : SS_LEFT);
                break;
            case ControlKind::TextBox:
                kind = L"EDIT";
                exStyle = WS_EX_CLIENTEDGE;
                style |= ES_AUTOHSCROLL | (c.readOnly ? ES_READONLY : 0);
                break;
            case ControlKind::Button:
                kind = L"BUTTON";
                style |= BS_PUSHBUTTON;
                break;
            case ControlKind::StatusBar:
                kind = STATUSCLASSNAMEW;
                style |= CCS_NOPARENTALIGN | CCS_NORESIZE;
                break;
        }
        if (c.tabIndex >= 0) style |= WS_TABSTOP;
        HWND w = ::CreateWindowExW(exStyle, kind, win32::widen(c.caption).c_str(), style, 0, 0, 0,
                                   0, form, HMENU(INT_PTR(id++)), instance, nullptr);
        if (*c.toolTip) {
            // One tooltip window per control that has a tip; it lives as long as the form.
            HWND tip =
                ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                  0, 0, 0, 0, form, nullptr, instance, nullptr);
            std::wstring text = win32::widen(c.toolTip);
            TOOLINFOW info{};
            info.cbSize = TTTOOLINFOW_V1_SIZE;
            info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            info.hwnd = form;
            info.uId = UINT_PTR(w);
            info.lpszText = text.data();
            ::SendMessageW(tip, TTM_ADDTOOLW, 0, LPARAM(&info));
        }
        controls_[c.name] = w;
        if (c.tabIndex >= 0) round[c.tabIndex] = w;
    }
    // The dialog manager's Tab follows the z-order: put the round's controls first, in order.
    HWND after = HWND_TOP;
    for (const auto& [index, w] : round) {
        ::SetWindowPos(w, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        after = w;
    }
    layout(dpi);
}

void Win32Form::layout(int dpi) {
    // The controls let go of the old fonts before they are deleted.
    auto fonts = std::make_unique<Win32Fonts>(form_, dpi);
    for (const Control& c : table_.controls) {
        HWND w = controls_.at(c.name);
        ::SetWindowPos(w, nullptr, scaled(c.x, dpi), scaled(c.y, dpi), scaled(c.width, dpi),
                       scaled(c.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        const HFONT font = c.font == FontKind::Bold    ? fonts->bold
                           : c.font == FontKind::State ? fonts->state
                                                       : fonts->normal;
        ::SendMessageW(w, WM_SETFONT, WPARAM(font), TRUE);
    }
    fonts_ = std::move(fonts);
}

std::string Win32Form::nameOf(int id) const {
    const int index = id - kFirstId;
    return index >= 0 && index < int(table_.controls.size()) ? table_.controls[index].name : "";
}

}  // namespace skarvel
