#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace skarvel::win32 {

/// Texts travel through the program as UTF-8; Windows takes them as UTF-16.
inline std::wstring widen(const std::string& utf8) {
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(std::size_t(n > 0 ? n : 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    return wide;
}

inline std::string narrow(const std::wstring& wide) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string utf8(std::size_t(n > 0 ? n : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(), n, nullptr,
                          nullptr);
    return utf8;
}

inline std::string windowText(HWND window) {
    std::wstring text(std::size_t(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(std::size_t(::GetWindowTextW(window, text.data(), int(text.size()))));
    return narrow(text);
}

inline void setWindowText(HWND window, const std::string& text) {
    ::SetWindowTextW(window, widen(text).c_str());
}

}  // namespace skarvel::win32
