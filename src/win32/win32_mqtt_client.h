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
    explicit Win32MqttClient(HINSTANCE instance);
    ~Win32MqttClient() override;
    Win32MqttClient(const Win32MqttClient&) = delete;
    Win32MqttClient& operator=(const Win32MqttClient&) = delete;

  private:
    struct Window {
        HWND hwnd = nullptr;
        ~Window();
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void start(MosquittoClient& client) override;
    void lookUp(const std::string& host) override;
    void watch(int socket) override;
    void watchWrite(bool) override {}
    void stop() override;
    void lookedUp(HANDLE request, int error);

    Window window_;
    SOCKET socket_ = INVALID_SOCKET;
    HANDLE lookup_ = nullptr;
    std::vector<char> hostent_;
    MosquittoClient* client_ = nullptr;
};

}  // namespace skarvel
