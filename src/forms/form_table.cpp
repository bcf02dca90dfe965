#include "forms/form_table.h"

#include <cstddef>
#include <stdexcept>
#include <string>

namespace skarvel {

namespace {

using K = ControlKind;
using F = FontKind;

constexpr Control kMain[] = {
    {"Line2", K::Line, "", 0, 0, 241, 1},
    {"Label5", K::Label, "Current Readings:", 24, 24, 145, 17, -1, "", F::Bold},
    {"Label6", K::Label, "Sky temperature", 24, 56, 121, 17},
    {"SkyTemp", K::TextBox, "", 168, 56, 57, 19, 0, "", F::Normal, true},
    {"Label3", K::Label, "Ambient temperature", 24, 96, 121, 17},
    {"AmbientTemp", K::TextBox, "", 168, 96, 57, 19, 1, "", F::Normal, true},
    {"Label7", K::Label, "Temperature difference", 24, 136, 121, 17},
    {"DiffTemp", K::TextBox, "", 168, 136, 57, 19, 5,
     "Temperature difference between Sky and Ambient", F::Normal, true},
    {"Line3", K::Line, "", 16, 176, 273, 1},
    {"HistoryButton", K::Button, "3 Day Graph", 16, 192, 81, 25, 4},
    {"MonthButton", K::Button, "30 Day Graph", 112, 192, 81, 25, 6},
    {"YearButton", K::Button, "Year Graph", 208, 192, 81, 25, 7},
    {"Line4", K::Line, "", 16, 232, 273, 1},
    {"Label4", K::Label, "Current Conditions:", 24, 248, 137, 17, -1, "", F::Bold},
    {"Status", K::Label, "PENDING", 16, 288, 273, 65, -1, "", F::State},
    {"Line1", K::Line, "", 16, 368, 273, 1},
    {"SetupButton", K::Button, "Setup", 88, 384, 57, 25, 2},
    {"AboutButton", K::Button, "About", 160, 384, 57, 25, 3},
    {"sbStatusBar", K::StatusBar, "", 0, 423, 308, 18},
};

constexpr Control kSetup[] = {
    {"Label4", K::Label, "Cloudy threshold", 16, 16, 97, 17},
    {"CloudyThresholdField", K::TextBox, "", 136, 16, 33, 19, 5,
     "Temperature difference for a cloudy sky"},
    {"Label3", K::Label, "Very Cloudy threshold", 16, 48, 121, 17},
    {"VeryCloudyThresholdField", K::TextBox, "", 136, 48, 33, 19, 4,
     "Temperature difference for a very cloudy sky"},
    {"Label1", K::Label, "Com port", 16, 80, 49, 17},
    {"ComPort", K::TextBox, "1", 80, 80, 41, 19, 2},
    {"Label2", K::Label, "Web path", 16, 112, 57, 17},
    {"WebPathField", K::TextBox, "", 80, 112, 145, 19, 3,
     "Enter the path to save the history image for web serving"},
    {"cmdOK", K::Button, "OK", 40, 152, 73, 25, 0},
    {"cmdCancel", K::Button, "Cancel", 128, 152, 73, 25, 1},
};

// Both desktops key the Tab round by index: an index given twice, or one left out, would leave a
// control out of the round. So the indexes are 0 to n-1, each once, or the tables do not build.
template <std::size_t N>
constexpr bool tabRoundWhole(const Control (&controls)[N]) {
    int stops = 0;
    for (const Control& c : controls) stops += c.tabIndex >= 0;
    for (int index = 0; index < stops; ++index) {
        int holders = 0;
        for (const Control& c : controls) holders += c.tabIndex == index;
        if (holders != 1) return false;
    }
    return true;
}
static_assert(tabRoundWhole(kMain) && tabRoundWhole(kSetup));

}  // namespace

const Control& FormTable::control(std::string_view wanted) const {
    for (const Control& c : controls)
        if (wanted == c.name) return c;
    throw std::out_of_range("no control " + std::string(wanted) + " on " + name);
}

const FormTable& frmMainTable() {
    static const FormTable table{"frmMain", "Skarvel", 308, 441, kMain};
    return table;
}

const FormTable& frmSetupTable() {
    static const FormTable table{"frmSetup", "Setup", 243, 202, kSetup};
    return table;
}

}  // namespace skarvel
