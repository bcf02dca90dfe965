#include "win32/win32_windows.h"

#include <commctrl.h>

#include "win32/win32_serial_control.h"

namespace skarvel {

namespace {

constexpr UINT kLater = WM_APP + 1;
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kClock = 2;

COLORREF fromBgr(int color) {
    return COLORREF(color & 0xFFFFFF);  // both are 0x00BBGGRR
}

}  // namespace

Win32Window::~Win32Window() {
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

void Win32Window::create(HINSTANCE instance, const wchar_t* className, const char* title,
                         DWORD style, DWORD exStyle, HWND owner) {
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    if (!::GetClassInfoExW(instance, className, &c)) {
        c.lpfnWndProc = procedure;
        c.hInstance = instance;
        c.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
        c.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        c.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
        c.lpszClassName = className;
        ::RegisterClassExW(&c);
    }
    ::CreateWindowExW(exStyle, className, win32::widen(title).c_str(), style, CW_USEDEFAULT,
                      CW_USEDEFAULT, 0, 0, owner, nullptr, instance, this);
    dpi_ = int(::GetDpiForWindow(hwnd_));
    resize(nullptr);
}

void Win32Window::resize(const RECT* suggested) {
    const SIZE client = clientSize(dpi_);
    RECT r{0, 0, client.cx, client.cy};
    const auto style = DWORD(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const auto exStyle = DWORD(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    ::AdjustWindowRectExForDpi(&r, style, FALSE, exStyle, UINT(dpi_));
    ::SetWindowPos(hwnd_, nullptr, suggested ? suggested->left : 0, suggested ? suggested->top : 0,
                   r.right - r.left, r.bottom - r.top,
                   SWP_NOZORDER | SWP_NOACTIVATE | (suggested ? 0 : SWP_NOMOVE));
}

LRESULT CALLBACK Win32Window::procedure(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
        self->hwnd_ = w;
        ::SetWindowLongPtrW(w, GWLP_USERDATA, LONG_PTR(self));
    }
    auto* self = reinterpret_cast<Win32Window*>(::GetWindowLongPtrW(w, GWLP_USERDATA));
    return self ? self->handle(message, wp, lp) : ::DefWindowProcW(w, message, wp, lp);
}

LRESULT Win32Window::handle(UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_DPICHANGED) {
        // Windows suggests where; the size comes from the tables, so nothing is clipped.
        dpi_ = HIWORD(wp);
        resize(reinterpret_cast<const RECT*>(lp));
        rescale();
        ::InvalidateRect(hwnd_, nullptr, TRUE);
        return 0;
    }
    return ::DefWindowProcW(hwnd_, message, wp, lp);
}

// --- graph windows

Win32GraphWindow::Win32GraphWindow(HINSTANCE instance, HWND owner, GraphKind kind,
                                   const Settings& settings, DesktopServices& services)
    : surface_(GraphPlot::surfaceWidth(kind), GraphPlot::surfaceHeight(kind)),
      form_(kind, surface_, settings, services, *this) {
    create(instance, L"SkarvelGraph", form_.plot().caption(), WS_POPUP | WS_CAPTION | WS_SYSMENU,
           WS_EX_TOOLWINDOW, owner);
}

SIZE Win32GraphWindow::clientSize(int dpi) const {
    // The picture keeps its pixels, which its file format fixes; only the margins grow.
    const SIZE picture{surface_.width(), surface_.height()};
    const int right = GraphFormTable::kClientWidth - GraphFormTable::kSurfaceLeft - picture.cx;
    const int bottom = GraphFormTable::kClientHeight - GraphFormTable::kSurfaceTop - picture.cy;
    return {scaled(GraphFormTable::kSurfaceLeft + right, dpi) + picture.cx,
            scaled(GraphFormTable::kSurfaceTop + bottom, dpi) + picture.cy};
}

LRESULT Win32GraphWindow::handle(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(hwnd_, &ps);
            ::FillRect(dc, &ps.rcPaint, ::GetSysColorBrush(COLOR_BTNFACE));
            surface_.paint(dc, scaled(GraphFormTable::kSurfaceLeft, dpi_),
                           scaled(GraphFormTable::kSurfaceTop, dpi_));
            ::EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_CLOSE:
            // The main window keeps this window for the whole run; closing only unloads it.
            form_.closed();
            ::ShowWindow(hwnd_, SW_HIDE);
            return 0;
    }
    return Win32Window::handle(message, wp, lp);
}

// --- the setup dialog

Win32SetupDialog::Win32SetupDialog(HINSTANCE instance, HWND owner, frmSetup& form,
                                   Win32DesktopServices& services)
    : form_(form), services_(services) {
    create(instance, L"SkarvelSetup", frmSetupTable().title, WS_POPUP | WS_CAPTION | WS_SYSMENU,
           WS_EX_DLGMODALFRAME, owner);
    controls_ = std::make_unique<Win32Form>(hwnd_, frmSetupTable(), dpi_);
    form_.setView(this);
}

SIZE Win32SetupDialog::clientSize(int dpi) const {
    return {scaled(frmSetupTable().width, dpi), scaled(frmSetupTable().height, dpi)};
}

SetupFields Win32SetupDialog::fields() const {
    const Win32Form& f = *controls_;
    return {win32::windowText(f["ComPort"]), win32::windowText(f["WebPathField"]),
            win32::windowText(f["CloudyThresholdField"]),
            win32::windowText(f["VeryCloudyThresholdField"])};
}

void Win32SetupDialog::setFields(const SetupFields& f) {
    const Win32Form& c = *controls_;
    win32::setWindowText(c["ComPort"], f.comPort);
    win32::setWindowText(c["WebPathField"], f.webPath);
    win32::setWindowText(c["CloudyThresholdField"], f.cloudyThreshold);
    win32::setWindowText(c["VeryCloudyThresholdField"], f.vCloudyThreshold);
}

void Win32SetupDialog::runModal() {
    HWND owner = ::GetWindow(hwnd_, GW_OWNER);
    RECT outer{}, self{};
    ::GetWindowRect(owner, &outer);
    ::GetWindowRect(hwnd_, &self);
    const int x = (outer.left + outer.right - (self.right - self.left)) / 2;
    const int y = (outer.top + outer.bottom - (self.bottom - self.top)) / 2;
    ::SetWindowPos(hwnd_, HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
    open_ = true;
    services_.setModalDialog(hwnd_);
    ::EnableWindow(owner, FALSE);
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    ::SetFocus((*controls_)["cmdOK"]);
    MSG message;
    while (open_ && ::GetMessageW(&message, nullptr, 0, 0) > 0) services_.dispatch(message);
    if (open_) ::PostQuitMessage(int(message.wParam));  // the program ends: let it
    open_ = false;
    ::EnableWindow(owner, TRUE);
    services_.setModalDialog(nullptr);
    ::ShowWindow(hwnd_, SW_HIDE);
    ::SetActiveWindow(owner);
}

LRESULT Win32SetupDialog::handle(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wp) == BN_CLICKED) {
                const std::string name = controls_->nameOf(LOWORD(wp));
                if (name == "cmdOK") form_.cmdOK_Click();
                // Esc comes as IDCANCEL.
                if (name == "cmdCancel" || LOWORD(wp) == IDCANCEL) form_.cmdCancel_Click();
            }
            return 0;
        case WM_CLOSE:
            form_.cmdCancel_Click();
            return 0;
    }
    return Win32Window::handle(message, wp, lp);
}

// --- the main window

Win32MainWindow::Win32MainWindow(HINSTANCE instance, Win32DesktopServices& services,
                                 SerialFactory factory)
    : instance_(instance), services_(services) {
    if (!factory) factory = [] { return std::make_unique<Win32SerialControl>(); };
    form_ = std::make_unique<frmMain>(*this, *this, services_, std::move(factory));
    create(instance, L"SkarvelMain", frmMainTable().title,
           WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, nullptr);
    controls_ = std::make_unique<Win32Form>(hwnd_, frmMainTable(), dpi_);
    rescale();
    services_.setMessageOwner(hwnd_);
    showClock();
    ::SetTimer(hwnd_, kClock, 1000, nullptr);
}

SIZE Win32MainWindow::clientSize(int dpi) const {
    return {scaled(frmMainTable().width, dpi), scaled(frmMainTable().height, dpi)};
}

void Win32MainWindow::rescale() {
    if (!controls_) return;
    controls_->layout(dpi_);
    // The status bar: the cycle's text on the left, the date and time on the right.
    const Control& c = frmMainTable().control("sbStatusBar");
    int parts[] = {scaled(c.width - 130, dpi_), -1};
    ::SendMessageW((*controls_)["sbStatusBar"], SB_SETPARTS, 2, LPARAM(parts));
}

Win32MainWindow::~Win32MainWindow() {
    end();
    form_.reset();  // its last word goes through the services while the windows still exist
}

namespace {

const char* controlName(MainControl control) {
    switch (control) {
        case MainControl::SkyTemp:
            return "SkyTemp";
        case MainControl::AmbientTemp:
            return "AmbientTemp";
        case MainControl::DiffTemp:
            return "DiffTemp";
        case MainControl::Status:
            return "Status";
        case MainControl::StatusBar:
            break;
    }
    return "sbStatusBar";
}

}  // namespace

std::string Win32MainWindow::text(MainControl control) const {
    if (control == MainControl::StatusBar) return statusBarText_;
    return win32::windowText((*controls_)[controlName(control)]);
}

void Win32MainWindow::setText(MainControl control, const std::string& text) {
    if (control != MainControl::StatusBar) {
        win32::setWindowText((*controls_)[controlName(control)], text);
        return;
    }
    statusBarText_ = text;
    ::SendMessageW((*controls_)["sbStatusBar"], SB_SETTEXTW, 0, LPARAM(win32::widen(text).c_str()));
}

void Win32MainWindow::setStatusColor(int color) {
    statusColor_ = color;
    ::InvalidateRect((*controls_)["Status"], nullptr, TRUE);
}

void Win32MainWindow::showClock() {
    wchar_t date[64] = L"", time[64] = L"";
    ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, 64);
    ::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, nullptr, nullptr, time, 64);
    const std::wstring text = std::wstring(date) + L"  " + time;
    ::SendMessageW((*controls_)["sbStatusBar"], SB_SETTEXTW, 1, LPARAM(text.c_str()));
}

void Win32MainWindow::startTimer1(int intervalMs) {
    ::SetTimer(hwnd_, kTimer1, UINT(intervalMs), nullptr);
}
void Win32MainWindow::stopTimer1() {
    ::KillTimer(hwnd_, kTimer1);
}
void Win32MainWindow::later(std::function<void()> step) {
    later_.push_back(std::move(step));
    ::PostMessageW(hwnd_, kLater, 0, 0);
}

GraphWindow& Win32MainWindow::createGraphWindow(GraphKind kind) {
    graphs_.push_back(
        std::make_unique<Win32GraphWindow>(instance_, hwnd_, kind, form_->settings(), services_));
    return graphs_.back()->form();
}

void Win32MainWindow::createSetupDialog(frmSetup& form) {
    setup_ = std::make_unique<Win32SetupDialog>(instance_, hwnd_, form, services_);
}

void Win32MainWindow::end() {
    if (ended_) return;
    ended_ = true;
    ::KillTimer(hwnd_, kClock);
    form_->Form_Unload();
}

LRESULT Win32MainWindow::handle(UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wp) == BN_CLICKED && controls_) {
                const std::string name = controls_->nameOf(LOWORD(wp));
                frmMain& f = *form_;
                if (name == "HistoryButton") f.HistoryButton_Click();
                if (name == "MonthButton") f.MonthButton_Click();
                if (name == "YearButton") f.YearButton_Click();
                if (name == "SetupButton") f.SetupButton_Click();
                if (name == "AboutButton") f.AboutButton_Click();
            }
            return 0;
        case WM_TIMER:
            if (wp == kTimer1) form_->Timer1_Timer();
            if (wp == kClock) showClock();
            return 0;
        case kLater:
            while (!later_.empty()) {
                auto step = std::move(later_.front());
                later_.pop_front();
                step();
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            if (controls_ && HWND(lp) == (*controls_)["Status"]) {
                HDC dc = HDC(wp);
                ::SetTextColor(dc, fromBgr(statusColor_));
                ::SetBkMode(dc, TRANSPARENT);
                return LRESULT(::GetSysColorBrush(COLOR_BTNFACE));
            }
            break;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // Windows may end the process as soon as this returns: save now.
            if (wp) end();
            return 0;
        case WM_CLOSE:
            end();
            ::DestroyWindow(hwnd_);
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
    }
    return Win32Window::handle(message, wp, lp);
}

}  // namespace skarvel
