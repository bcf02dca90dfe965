#pragma once

#include <map>
#include <memory>
#include <string>

#include "forms/form_table.h"
#include "win32/win32_text.h"

namespace skarvel {

/// A length of the form tables (96-dpi units) at `dpi`.
inline int scaled(int length, int dpi) {
    return ::MulDiv(length, dpi, 96);
}

/// The forms' fonts at `dpi`: "MS Sans Serif" 8.25 pt, bold, and the state's 36 pt bold, each
/// shrunk until its widest caption fits, as on the other desktop.
struct Win32Fonts {
    Win32Fonts(HWND reference, int dpi);
    ~Win32Fonts();
    Win32Fonts(const Win32Fonts&) = delete;
    Win32Fonts& operator=(const Win32Fonts&) = delete;

    HFONT normal = nullptr, bold = nullptr, state = nullptr;
};

/// The controls of `table` created in `form`, named by the table and laid out at the form's DPI;
/// control i has the id kFirstId + i. Tab follows the table's round.
class Win32Form {
  public:
    static constexpr int kFirstId = 100;

    Win32Form(HWND form, const FormTable& table, int dpi);

    HWND operator[](const std::string& name) const { return controls_.at(name); }
    /// The name of the control with `id`, "" for none.
    std::string nameOf(int id) const;
    const FormTable& table() const { return table_; }
    /// Places, sizes and letters every control anew for `dpi`.
    void layout(int dpi);

  private:
    HWND form_;
    const FormTable& table_;
    std::map<std::string, HWND> controls_;
    std::unique_ptr<Win32Fonts> fonts_;
};

}  // namespace skarvel
