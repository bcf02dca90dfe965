#pragma once

#include <windows.h>
#include <winsock2.h>

#include <string>
#include <vector>

#include "automation/mosquitto_client.h"

namespace skarvel {

/// The MQTT client on the user-interface thread: its socket reports to a hidden window through
/// WSAAsyncSelect, a timer on that window ticks every second, and the broker's name is looked
/// up by WSAAsyncGetHostByName.
class Win32MqttClient final : public MqttTransport {
  public:
    Win32MqttClient(const AutomationSettings& settings, DesktopServices& services,
                    const std::string& version, HINSTANCE instance);
    ~Win32MqttClient() override;
    Win32MqttClient(const Win32MqttClient&) = delete;
    Win32MqttClient& operator=(const Win32MqttClient&) = delete;

    MosquittoClient& client() { return client_; }
    void start();

  private:
    struct Window {
        HWND hwnd = nullptr;
        ~Window();
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void lookUp(const std::string& host) override;
    void watch(int socket) override;
    void watchWrite(bool) override {}
    void stop() override;
    void lookedUp(HANDLE request, int error);

    Window window_;
    SOCKET socket_ = INVALID_SOCKET;
    HANDLE lookup_ = nullptr;
    std::vector<char> hostent_;
    // Last: its farewell needs the members above.
    MosquittoClient client_;
};

}  // namespace skarvel
