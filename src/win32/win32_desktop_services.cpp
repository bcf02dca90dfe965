#include "win32/win32_desktop_services.h"

#include <shlobj.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "store/program_folder.h"
#include "win32/win32_forms.h"

namespace skarvel {

namespace {

constexpr wchar_t kBoxClass[] = L"SkarvelMessage";
constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;

/// A message box that never waits: a small owned window with the text and an OK button that
/// has the focus. Enter, Esc, OK and the close box close it.
class Win32MessageBox final : public MessageBoxView {
  public:
    Win32MessageBox(HINSTANCE instance, HWND owner, const std::string& title,
                    const std::string& text) {
        registerClass(instance);
        window_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kBoxClass, win32::widen(title).c_str(),
                                    WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 100, 100, owner,
                                    nullptr, instance, this);
        dpi_ = int(::GetDpiForWindow(window_));
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0,
                                     UINT(dpi_));
        font_ = ::CreateFontIndirectW(&metrics.lfMessageFont);
        text_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0, 0, 0,
                                  0, window_, nullptr, instance, nullptr);
        ok_ = ::CreateWindowExW(0, L"BUTTON", L"OK",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 0, 0,
                                window_, HMENU(IDOK), instance, nullptr);
        for (HWND w : {text_, ok_}) ::SendMessageW(w, WM_SETFONT, WPARAM(font_), FALSE);
        setText(text);
        centreOver(owner);
        ::ShowWindow(window_, SW_SHOW);
        // Whoever is there can close it with Enter or Esc.
        ::SetForegroundWindow(window_);
        ::SetFocus(ok_);
    }
    ~Win32MessageBox() override {
        if (window_) {
            ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
            ::DestroyWindow(window_);
        }
        ::DeleteObject(font_);
    }

    bool isOpen() const override { return window_ != nullptr; }
    void setText(const std::string& text) override {
        if (!window_) return;
        const std::wstring wide = win32::widen(text);
        ::SetWindowTextW(text_, wide.c_str());
        HDC dc = ::GetDC(text_);
        const HGDIOBJ old = ::SelectObject(dc, font_);
        RECT r{0, 0, scaled(420, dpi_), 0};
        ::DrawTextW(dc, wide.c_str(), int(wide.size()), &r, DT_CALCRECT | DT_WORDBREAK);
        ::SelectObject(dc, old);
        ::ReleaseDC(text_, dc);
        const int margin = scaled(kMargin, dpi_), buttonWidth = scaled(kButtonWidth, dpi_),
                  buttonHeight = scaled(kButtonHeight, dpi_);
        const int width = std::max<int>(r.right, buttonWidth) + 2 * margin;
        const int height = r.bottom + 3 * margin + buttonHeight;
        ::MoveWindow(text_, margin, margin, r.right, r.bottom, TRUE);
        ::MoveWindow(ok_, width - margin - buttonWidth, height - margin - buttonHeight, buttonWidth,
                     buttonHeight, TRUE);
        RECT outer{0, 0, width, height};
        ::AdjustWindowRectExForDpi(&outer, DWORD(::GetWindowLongW(window_, GWL_STYLE)), FALSE,
                                   DWORD(::GetWindowLongW(window_, GWL_EXSTYLE)), UINT(dpi_));
        ::SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                       SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void close() override {
        if (window_) ::DestroyWindow(window_);
    }

  private:
    static void registerClass(HINSTANCE instance) {
        WNDCLASSEXW c{};
        c.cbSize = sizeof c;
        if (::GetClassInfoExW(instance, kBoxClass, &c)) return;
        c.lpfnWndProc = procedure;
        c.hInstance = instance;
        c.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        c.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
        c.lpszClassName = kBoxClass;
        ::RegisterClassExW(&c);
    }
    static LRESULT CALLBACK procedure(HWND w, UINT message, WPARAM wp, LPARAM lp) {
        if (message == WM_NCCREATE) {
            ::SetWindowLongPtrW(w, GWLP_USERDATA,
                                LONG_PTR(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32MessageBox*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
        switch (message) {
            case WM_COMMAND:
                if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) ::DestroyWindow(w);
                return 0;
            case WM_CLOSE:
                ::DestroyWindow(w);
                return 0;
            case WM_DESTROY:
                if (self) self->closed();
                return 0;
        }
        return ::DefWindowProcW(w, message, wp, lp);
    }
    void closed() {
        // Without a window manager nobody hands the keyboard back to the window underneath.
        HWND owner = ::GetWindow(window_, GW_OWNER);
        window_ = nullptr;
        if (owner && ::IsWindowVisible(owner)) ::SetActiveWindow(owner);
    }
    void centreOver(HWND owner) {
        RECT box{}, area{};
        ::GetWindowRect(window_, &box);
        if (!owner || !::GetWindowRect(owner, &area))
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        const int x = (area.left + area.right - (box.right - box.left)) / 2;
        const int y = (area.top + area.bottom - (box.bottom - box.top)) / 2;
        ::SetWindowPos(window_, nullptr, std::max(0, x), std::max(0, y), 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    HWND window_ = nullptr;
    HWND text_ = nullptr;
    HWND ok_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
};

std::wstring environment(const wchar_t* name) {
    std::wstring value(32768, L'\0');
    value.resize(::GetEnvironmentVariableW(name, value.data(), DWORD(value.size())));
    return value;
}

bool writable(const std::wstring& folder) {
    const std::wstring probe = folder + L"\\.skarvel-write-test";
    HANDLE h = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
}

std::string exeFolderOrDataFolder() {
    std::wstring exe(32768, L'\0');
    exe.resize(::GetModuleFileNameW(nullptr, exe.data(), DWORD(exe.size())));
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    std::vector<std::string> programFiles;
    for (const wchar_t* name : {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"})
        if (const std::wstring v = environment(name); !v.empty())
            programFiles.push_back(win32::narrow(v));
    const std::string chosen = windowsProgramFolder(
        win32::narrow(folder), programFiles, win32::narrow(environment(L"LOCALAPPDATA")),
        [](const std::string& f) { return writable(win32::widen(f)); });
    // A folder that cannot be made shows up as the usual file errors at the first write.
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(win32::widen(chosen)), ignored);
    return chosen;
}

}  // namespace

Win32DesktopServices::Win32DesktopServices(HINSTANCE instance) : instance_(instance) {}

void Win32DesktopServices::log(const std::string& line) {
    MessageJournal::appendToFile(appPath() + "\\skarvel.log", line);
}

std::unique_ptr<MessageBoxView> Win32DesktopServices::openBox(const std::string& text) {
    // Over an open modal dialog, so the box can still be dismissed while the dialog is up.
    HWND owner = modal_ && ::IsWindowVisible(modal_) ? modal_ : owner_;
    return std::make_unique<Win32MessageBox>(instance_, owner, title(), text);
}

bool Win32DesktopServices::dispatch(MSG& message) {
    if (message.message == WM_QUIT) {
        quit_ = true;
        exitCode_ = int(message.wParam);
        return false;
    }
    HWND root = message.hwnd ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    // Enter must not press the setup dialog's OK; Esc and Tab work there as in a dialog.
    const bool enterInModal =
        root && root == modal_ && message.message == WM_KEYDOWN && message.wParam == VK_RETURN;
    if (enterInModal) return true;
    if (root && ::IsDialogMessageW(root, &message)) return true;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    return true;
}

void Win32DesktopServices::sleep(int ms) {
    const ULONGLONG until = ::GetTickCount64() + ULONGLONG(std::max(ms, 0));
    for (ULONGLONG now = ::GetTickCount64(); now < until && !quit_; now = ::GetTickCount64()) {
        ::MsgWaitForMultipleObjectsEx(0, nullptr, DWORD(until - now), QS_ALLINPUT,
                                      MWMO_INPUTAVAILABLE);
        doEvents();
    }
}

void Win32DesktopServices::doEvents() {
    MSG message;
    while (!quit_ && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) dispatch(message);
}

int Win32DesktopServices::run() {
    MSG message;
    while (!quit_ && ::GetMessageW(&message, nullptr, 0, 0) > 0) dispatch(message);
    if (!quit_ && message.message == WM_QUIT) exitCode_ = int(message.wParam);
    return exitCode_;
}

std::string Win32DesktopServices::appPath() const {
    // Decided once: a folder whose permissions change while the monitor runs does not move it.
    static const std::string folder = exeFolderOrDataFolder();
    return folder;
}

LocalTime Win32DesktopServices::now() const {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    return makeTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

}  // namespace skarvel
