#pragma once

#include <map>
#include <string>

#include "forms/form_table.h"
#include "win32/win32_text.h"

namespace skarvel {

/// The forms' fonts: "MS Sans Serif" 8.25 pt, bold, and the state's 36 pt bold, each shrunk
/// until its widest caption fits, as on the other desktop.
struct Win32Fonts {
    explicit Win32Fonts(HWND reference);
    ~Win32Fonts();
    Win32Fonts(const Win32Fonts&) = delete;
    Win32Fonts& operator=(const Win32Fonts&) = delete;

    HFONT normal = nullptr, bold = nullptr, state = nullptr;
};

/// The controls of `table` created in `form` (whose client size it sets), named by the table;
/// control i has the id kFirstId + i. Tab follows the table's round.
class Win32Form {
  public:
    static constexpr int kFirstId = 100;

    Win32Form(HWND form, const FormTable& table, const Win32Fonts& fonts);

    HWND operator[](const std::string& name) const { return controls_.at(name); }
    /// The name of the control with `id`, "" for none.
    std::string nameOf(int id) const;
    const FormTable& table() const { return table_; }

    /// Outer window size for the table's client size with `style`.
    static SIZE outerSize(const FormTable& table, DWORD style, DWORD exStyle);

  private:
    const FormTable& table_;
    std::map<std::string, HWND> controls_;
};

}  // namespace skarvel
