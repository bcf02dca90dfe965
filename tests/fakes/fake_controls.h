#pragma once

#include <string>

#include "forms/main_window_controls.h"

namespace skarvel::testing {

struct FakeControls : MainWindowControls {
    std::string text(MainControl c) const override {
        return const_cast<FakeControls*>(this)->field(c);
    }
    void setText(MainControl c, const std::string& t) override { field(c) = t; }
    int statusColor() const override { return color; }
    void setStatusColor(int c) override { color = c; }

    std::string& field(MainControl c) {
        switch (c) {
            case MainControl::SkyTemp:
                return sky;
            case MainControl::AmbientTemp:
                return ambient;
            case MainControl::DiffTemp:
                return diff;
            case MainControl::Status:
                return caption;
            case MainControl::StatusBar:
                break;
        }
        return bar;
    }

    std::string sky, ambient, diff, caption = "PENDING", bar;
    int color = 0;
};

}  // namespace skarvel::testing
