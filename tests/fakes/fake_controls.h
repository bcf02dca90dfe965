#pragma once

#include <array>
#include <string>

#include "platform/main_window_controls.h"

namespace skarvel::testing {

struct FakeControls : MainWindowControls {
    std::string text(MainControl c) const override { return *fields()[int(c)]; }
    void setText(MainControl c, const std::string& t) override { *fields()[int(c)] = t; }
    int statusColor() const override { return color; }
    void setStatusColor(int c) override { color = c; }
    /// In the order of MainControl.
    std::array<std::string*, 5> fields() const {
        auto* self = const_cast<FakeControls*>(this);
        return {&self->sky, &self->ambient, &self->diff, &self->caption, &self->bar};
    }

    std::string sky, ambient, diff, caption = "PENDING", bar;
    int color = 0;
};

}  // namespace skarvel::testing
