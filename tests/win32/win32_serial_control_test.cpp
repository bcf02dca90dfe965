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
    struct Row {
        const char* what;
        std::function<void()> act;
        int error;
    } rows[] = {
        {"a port with no device",
         [&] {
             c.setCommPort(250);
             c.setPortOpen(true);
         },
         8002},
        {"port 0", [&] { c.setCommPort(0); }, 8002},
        {"unknown parity", [&] { c.setSettings("9600,x,8,1"); }, 380},
        {"nine data bits", [&] { c.setSettings("9600,n,9,1"); }, 380},
        {"no baud rate", [&] { c.setSettings("fast,n,8,1"); }, 380},
        {"three fields", [&] { c.setSettings("9600,n,8"); }, 380},
        {"half a stop bit", [&] { c.setSettings("9600,n,8,0.5"); }, 380},
        {"count while closed", [&] { c.inBufferCount(); }, 8012},
        {"discard while closed", [&] { c.setInBufferCount(0); }, 8012},
        {"input while closed", [&] { c.input(); }, 8012},
    };
    for (const Row& r : rows) EXPECT_THAT(r.act, throwsVb(r.error)) << r.what;
    c.setSettings(" 19200 , E , 7 , 2 ");
    EXPECT_FALSE(c.portOpen());
    EXPECT_FALSE(c.deviceGone());
}

// The rows below need a pseudo-terminal made on the Linux side and mapped to COM<n>: ctest runs
// them through serial_on_pty.py, which does what they ask for on standard output.
int ptyPort() {
    const char* port = std::getenv("SKARVEL_TEST_COM");
    return port ? std::atoi(port) : 0;
}

void ask(const std::string& request) {
    std::printf("pty> %s\n", request.c_str());
    std::fflush(stdout);
}

void send(const Bytes& bytes) {
    std::string hex;
    for (std::uint8_t b : bytes) {
        static const char digits[] = "0123456789abcdef";
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    ask("send " + hex);
}

Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// Polls as the sensor link does, for at most three seconds.
bool within3s(const std::function<bool()>& done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::unique_ptr<Win32SerialControl> openPort(int port) {
    auto c = std::make_unique<Win32SerialControl>();
    c->setCommPort(std::int16_t(port));
    c->setPortOpen(true);
    c->setSettings("9600,n,8,1");
    return c;
}

TEST(Win32SerialOnPty, ReadsWhatArrivesAndNoticesTheSensorGoingAndComingBack) {
    const int port = ptyPort();
    if (!port) GTEST_SKIP() << "run by serial_on_pty.py";
    auto c = openPort(port);
    EXPECT_TRUE(c->portOpen());
    EXPECT_THAT([&] { c->setPortOpen(true); }, throwsVb(8005));
    EXPECT_THAT([&] { c->setCommPort(std::int16_t(port + 1)); }, throwsVb(8005));

    Bytes everyByte;
    for (int b = 0; b < 256; ++b) everyByte.push_back(std::uint8_t(b));
    // Byte for byte: no CR or LF translation, no flow-control or signal characters taken out.
    for (const Bytes& sent : {bytesOf("!1:  -20.50:  14.75:\r\n"), everyByte}) {
        send(sent);
        EXPECT_TRUE(within3s([&] { return c->inBufferCount() >= int(sent.size()); }));
        EXPECT_EQ(c->inBufferCount(), int(sent.size()));
        EXPECT_EQ(c->input(), sent);
        EXPECT_EQ(c->inBufferCount(), 0);
    }

    send(bytesOf("stale\r\n"));
    EXPECT_TRUE(within3s([&] { return c->inBufferCount() == 7; }));
    c->setInBufferCount(0);
    EXPECT_EQ(c->inBufferCount(), 0);
    EXPECT_TRUE(c->input().empty());
    send(bytesOf("fresh\r\n"));
    EXPECT_TRUE(within3s([&] { return c->inBufferCount() == 7; }));
    EXPECT_EQ(c->input(), bytesOf("fresh\r\n"));

    ask("unplug");
    EXPECT_TRUE(within3s([&] {
        try {
            c->inBufferCount();
        } catch (const VbError&) {
        }
        return c->deviceGone();
    }));
    EXPECT_FALSE(c->portOpen());
    EXPECT_THAT([&] { c->inBufferCount(); }, throwsVb(8015));
    EXPECT_THAT([&] { openPort(port); }, throwsVb(8002)) << "while unplugged";

    ask("plug");
    EXPECT_TRUE(within3s([&] {
        try {
            c->setPortOpen(true);
        } catch (const VbError&) {
        }
        return c->portOpen();
    }));
    EXPECT_FALSE(c->deviceGone());
    send(bytesOf("back\r\n"));
    EXPECT_TRUE(within3s([&] { return c->inBufferCount() == 6; }));
    EXPECT_EQ(c->input(), bytesOf("back\r\n"));
}

}  // namespace
}  // namespace skarvel::testing
