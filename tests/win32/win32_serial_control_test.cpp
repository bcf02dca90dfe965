#include "win32/win32_serial_control.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"

namespace skarvel::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Win32SerialControl, RefusesWhatItCannotDo) {
    EXPECT_EQ(Win32SerialControl::portPath(12), L"\\\\.\\COM12");  // COM10 on needs the prefix
    Win32SerialControl c;
    const std::pair<std::function<void()>, int> rows[] = {
        {[&] { c.setCommPort(250), c.setPortOpen(true); }, 8002},  // no such device
        {[&] { c.setCommPort(0); }, 8002},
        {[&] { c.setSettings("9600,x,8,1"); }, 380},
        {[&] { c.setSettings("9600,n,9,1"); }, 380},
        {[&] { c.setSettings("fast,n,8,1"); }, 380},
        {[&] { c.setSettings("9600,n,8"); }, 380},
        {[&] { c.inBufferCount(); }, 8012},
        {[&] { c.setInBufferCount(0); }, 8012},
        {[&] { c.input(); }, 8012},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_THAT(rows[i].first, throwsVb(rows[i].second)) << "row " << i;
    c.setSettings(" 19200 , E , 7 , 1.5 ");
}

// These rows need a pseudo-terminal made on the Linux side and mapped to COM<n>: ctest runs them
// through serial_on_pty.py, which does what they ask for on standard output.
void ask(const std::string& request) {
    std::printf("pty> %s\n", request.c_str());
    std::fflush(stdout);
}

void send(const std::string& bytes) {
    std::string hex;
    for (unsigned char b : bytes)
        hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
    ask("send " + hex);
}

// Polls as the sensor link does, for at most three seconds.
bool within3s(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(20)))
        if (std::chrono::steady_clock::now() > until) return false;
    return true;
}

TEST(Win32SerialOnPty, ReadsWhatArrivesAndNoticesTheSensorGoingAndComingBack) {
    const char* env = std::getenv("SKARVEL_TEST_COM");
    if (!env) GTEST_SKIP() << "run by serial_on_pty.py";
    const auto port = std::int16_t(std::atoi(env));
    const auto open = [port](Win32SerialControl& c) {
        c.setCommPort(port);
        c.setPortOpen(true);
        c.setSettings("9600,n,8,1");
    };
    Win32SerialControl c, other;
    open(c);
    EXPECT_THAT([&] { c.setPortOpen(true); }, throwsVb(8005));
    EXPECT_THAT([&] { c.setCommPort(port); }, throwsVb(8005));

    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte += char(b);
    // Byte for byte: no CR or LF translation, no flow-control or signal characters taken out.
    for (const std::string& sent : {std::string("!1:  -20.50:  14.75:\r\n"), everyByte}) {
        send(sent);
        EXPECT_TRUE(within3s([&] { return c.inBufferCount() >= int(sent.size()); }));
        EXPECT_EQ(c.inBufferCount(), int(sent.size()));
        EXPECT_EQ(c.input(), Bytes(sent.begin(), sent.end()));
        EXPECT_EQ(c.inBufferCount(), 0);
    }
    send("stale\r\n");
    EXPECT_TRUE(within3s([&] { return c.inBufferCount() == 7; }));
    c.setInBufferCount(0);
    EXPECT_EQ(c.inBufferCount(), 0);
    EXPECT_TRUE(c.input().empty());

    ask("unplug");
    const auto polled = [](Win32SerialControl& c, bool (Win32SerialControl::*state)() const) {
        return within3s([&] {
            try {
                c.portOpen() ? void(c.inBufferCount()) : c.setPortOpen(true);
            } catch (const VbError&) {
            }
            return (c.*state)();
        });
    };
    EXPECT_TRUE(polled(c, &Win32SerialControl::deviceGone));
    EXPECT_FALSE(c.portOpen());
    EXPECT_THAT([&] { c.inBufferCount(); }, throwsVb(8015));
    EXPECT_THAT([&] { open(other); }, throwsVb(8002)) << "while unplugged";

    ask("plug");
    EXPECT_TRUE(polled(c, &Win32SerialControl::portOpen));
    EXPECT_FALSE(c.deviceGone());
    send("back\r\n");
    EXPECT_TRUE(within3s([&] { return c.inBufferCount() == 6; }));
    EXPECT_EQ(c.input(), Bytes({'b', 'a', 'c', 'k', '\r', '\n'}));
}

}  // namespace
}  // namespace skarvel::testing
