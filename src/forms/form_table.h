#pragma once

#include <span>
#include <string_view>

namespace skarvel {

enum class ControlKind { Line, Label, TextBox, Button, StatusBar };
enum class FontKind { Normal, Bold, State };

/// One control of a form, in client pixels.
struct Control {
    const char* name;
    ControlKind kind;
    const char* caption;
    int x, y, width, height;
    /// Place in the Tab round, -1 for none.
    int tabIndex = -1;
    const char* toolTip = "";
    FontKind font = FontKind::Normal;
    bool readOnly = false;
};

/// A window as both desktops build it: fixed client size, controls in creation order.
struct FormTable {
    const char* name;
    const char* title;
    int width, height;
    std::span<const Control> controls;

    /// The control named `name`; throws std::out_of_range when there is none.
    const Control& control(std::string_view name) const;
};

const FormTable& frmMainTable();
const FormTable& frmSetupTable();

/// The three graph windows share one client size; the picture sits at the surface offset.
struct GraphFormTable {
    static constexpr int kClientWidth = 1016;
    static constexpr int kClientHeight = 549;
    static constexpr int kSurfaceLeft = 8;
    static constexpr int kSurfaceTop = 8;
};

}  // namespace skarvel
