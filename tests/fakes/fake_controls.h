#pragma once

#include <string>

#include "forms/main_window_controls.h"

namespace skarvel::testing {

struct FakeControls : MainWindowControls {
    std::string skyTemp() const override { return sky; }
    void setSkyTemp(const std::string& t) override { sky = t; }
    std::string ambientTemp() const override { return ambient; }
    void setAmbientTemp(const std::string& t) override { ambient = t; }
    std::string diffTemp() const override { return diff; }
    void setDiffTemp(const std::string& t) override { diff = t; }
    std::string statusCaption() const override { return caption; }
    void setStatusCaption(const std::string& c) override { caption = c; }
    int statusColor() const override { return color; }
    void setStatusColor(int c) override { color = c; }
    std::string statusBarText() const override { return bar; }
    void setStatusBarText(const std::string& t) override { bar = t; }

    std::string sky, ambient, diff, caption = "PENDING", bar;
    int color = 0;
};

}  // namespace skarvel::testing
