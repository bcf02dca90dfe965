#include "win32/win32_serial_control.h"

#include <functional>

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"

namespace skarvel::testing {
namespace {

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

}  // namespace
}  // namespace skarvel::testing
