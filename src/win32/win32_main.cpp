// Winsock before anything that brings in windows.h.
#include "win32/win32_server_sockets.h"
// clang-format off
#include <commctrl.h>
// clang-format on

#include <cstdint>
#include <cwchar>
#include <string_view>

#include "forms/desktop_wiring.h"
#include "skarvel_version.h"
#include "store/config.h"
#include "win32/win32_curl_loop.h"
#include "win32/win32_mqtt_client.h"
#include "win32/win32_windows.h"

namespace {

const wchar_t kFolderProperty[] = L"SkarvelFolder";

/// The same number for the same folder in every process: Windows folders differ by more than
/// case, and a mutex's name may not hold a backslash.
std::uintptr_t folderKey(const std::string& folder) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const char c : folder) {
        hash ^= std::uint8_t(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        hash *= 1099511628211ull;
    }
    return std::uintptr_t(hash | 1);
}

BOOL CALLBACK raiseFirst(HWND window, LPARAM key) {
    if (::GetPropW(window, kFolderProperty) != HANDLE(key)) return TRUE;
    ::ShowWindow(window, ::IsIconic(window) ? SW_RESTORE : SW_SHOW);
    ::SetForegroundWindow(window);
    return FALSE;
}

/// `--notify-test`, beside a running monitor of the same folder and without its lock. A desktop
/// program has no console to print to: the lines go to skarvel.log and into a box that stays
/// until it is closed, for a minute at most, so that nothing started unattended stays behind.
int notifyTest(HINSTANCE instance, skarvel::Win32DesktopServices& services) {
    skarvel::Win32CurlLoop loop(instance);
    std::string lines;
    const int status = skarvel::runNotifyTest(
        skarvel::GetEXEPath(services), loop, services,
        [&services](const std::function<bool()>& done) {
            MSG message;
            while (!done() && ::GetMessageW(&message, nullptr, 0, 0) > 0)
                services.dispatch(message);
        },
        [&](const std::string& line) {
            services.logLine(line);
            lines += (lines.empty() ? "" : "\n") + line;
        });
    const auto box = services.box(lines);
    const UINT_PTR limit = ::SetTimer(nullptr, 0, 60 * 1000, nullptr);
    MSG message;
    while (box->isOpen() && ::GetMessageW(&message, nullptr, 0, 0) > 0 &&
           !(message.message == WM_TIMER && !message.hwnd && message.wParam == limit))
        services.dispatch(message);
    return status;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR arguments, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    skarvel::Win32DesktopServices services(instance);
    if (std::wstring_view(arguments) == L"--notify-test") return notifyTest(instance, services);
    // One monitor per program folder; the system lets go of the mutex with the process. A second
    // one shows the first, which a user who started it twice was looking for.
    const std::uintptr_t key = folderKey(services.appPath());
    wchar_t name[48];
    std::swprintf(name, 48, L"Local\\Skarvel-%016llx", static_cast<unsigned long long>(key));
    const HANDLE lock = ::CreateMutexW(nullptr, FALSE, name);
    if (lock && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::EnumWindows(raiseFirst, LPARAM(key));
        return 1;
    }
    skarvel::Win32MainWindow window(instance, services, {});
    ::SetPropW(window.hwnd(), kFolderProperty, HANDLE(key));
    window.form().Form_Load();
    const skarvel::DesktopWiring wiring(
        window.form(), services,
        std::make_unique<skarvel::Win32ServerSockets>(window.form().automation()->settings(),
                                                      services, instance),
        [instance] { return std::make_unique<skarvel::Win32MqttClient>(instance); },
        [instance] { return std::make_unique<skarvel::Win32CurlLoop>(instance); });
    window.show();
    return services.run();
}
