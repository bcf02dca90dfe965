// The simulator is installed beside the monitor: its history must never replace a real log.
#include "history.h"

#include <stdexcept>

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"

namespace skarvel::sim {
namespace {

using testing::TempDir;

TEST(SimHistory, WritesNoDayFileWhereOneExists) {
    const LocalTime now = makeTime(2024, 3, 5, 10, 14);
    TempDir dir;
    TempDir::write(dir / "2024_3_4.csv", "a real log\r\n");
    EXPECT_THAT([&] { writeHistory(dir.str(), 2, now, 4, false); },
                ::testing::ThrowsMessage<std::runtime_error>(
                    ::testing::HasSubstr(dir.file("2024_3_4.csv"))));
    EXPECT_EQ(dir.entryCount(), 1u) << "nothing written";
}

}  // namespace
}  // namespace skarvel::sim
