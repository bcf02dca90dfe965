#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "forms/frm_main.h"
#include "win32/gdi_drawing_surface.h"
#include "win32/win32_desktop_services.h"
#include "win32/win32_forms.h"

namespace skarvel {

/// A window of ours: the object behind an HWND, reached through GWLP_USERDATA.
class Win32Window {
  public:
    virtual ~Win32Window();
    HWND hwnd() const { return hwnd_; }

  protected:
    /// Registers `className` once and creates the window, owned by `owner`, at its DPI.
    void create(HINSTANCE instance, const wchar_t* className, const char* title, DWORD style,
                DWORD exStyle, HWND owner);
    virtual LRESULT handle(UINT message, WPARAM wp, LPARAM lp);
    /// The client area's size at `dpi`.
    virtual SIZE clientSize(int dpi) const = 0;
    /// Lays the contents out again after the window's DPI changed.
    virtual void rescale() {}

    HWND hwnd_ = nullptr;
    int dpi_ = 96;

  private:
    static LRESULT CALLBACK procedure(HWND w, UINT message, WPARAM wp, LPARAM lp);
    /// Sizes the window for its DPI, at `suggested` when given.
    void resize(const RECT* suggested);
};

/// A graph window: a fixed tool window that shows its drawing surface; closing only hides it.
class Win32GraphWindow final : public Win32Window, public WindowView {
  public:
    Win32GraphWindow(HINSTANCE instance, HWND owner, GraphKind kind, const Settings& settings,
                     DesktopServices& services);
    GraphWindow& form() { return form_; }

    bool isVisible() const override { return ::IsWindowVisible(hwnd_); }
    void show() override { ::ShowWindow(hwnd_, SW_SHOW); }
    void bringToFront() override { ::SetForegroundWindow(hwnd_); }
    void close() override { ::ShowWindow(hwnd_, SW_HIDE); }
    void repaint() override { ::InvalidateRect(hwnd_, nullptr, FALSE); }

  private:
    LRESULT handle(UINT message, WPARAM wp, LPARAM lp) override;
    SIZE clientSize(int dpi) const override;

    GdiDrawingSurface surface_;
    GraphWindow form_;
};

/// The setup dialog: modal over the main window while it is open.
class Win32SetupDialog final : public Win32Window, public SetupDialogView {
  public:
    Win32SetupDialog(HINSTANCE instance, HWND owner, frmSetup& form,
                     Win32DesktopServices& services);

    SetupFields fields() const override;
    void setFields(const SetupFields& fields) override;
    void runModal() override;
    void end() override { open_ = false; }

  private:
    LRESULT handle(UINT message, WPARAM wp, LPARAM lp) override;
    SIZE clientSize(int dpi) const override;
    void rescale() override {
        if (controls_) controls_->layout(dpi_);
    }

    frmSetup& form_;
    Win32DesktopServices& services_;
    std::unique_ptr<Win32Form> controls_;
    bool open_ = false;
};

/// The main window: readings, state, graph buttons, Setup and About, and the status bar.
class Win32MainWindow final : public Win32Window, public MainWindowView, public MainWindowControls {
  public:
    Win32MainWindow(HINSTANCE instance, Win32DesktopServices& services, SerialFactory factory);
    ~Win32MainWindow() override;

    frmMain& form() { return *form_; }
    void show() { ::ShowWindow(hwnd_, SW_SHOW); }

    std::string text(MainControl control) const override;
    void setText(MainControl control, const std::string& text) override;
    int statusColor() const override { return statusColor_; }
    void setStatusColor(int color) override;

    void startTimer1(int intervalMs) override;
    void stopTimer1() override;
    void later(std::function<void()> step) override;
    GraphWindow& createGraphWindow(GraphKind kind) override;
    void createSetupDialog(frmSetup& form) override;

  private:
    LRESULT handle(UINT message, WPARAM wp, LPARAM lp) override;
    SIZE clientSize(int dpi) const override;
    void rescale() override;
    void showClock();
    void end();

    HINSTANCE instance_;
    Win32DesktopServices& services_;
    std::unique_ptr<frmMain> form_;
    std::unique_ptr<Win32Form> controls_;
    std::vector<std::unique_ptr<Win32GraphWindow>> graphs_;
    std::unique_ptr<Win32SetupDialog> setup_;
    std::deque<std::function<void()>> later_;
    int statusColor_ = 0;
    std::string statusBarText_;
    bool ended_ = false;
};

}  // namespace skarvel
