#include "history.h"

#include <stdexcept>

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"
#include "store/field_reader.h"
#include "store/readings_log.h"
#include "store/value_text.h"

namespace skarvel::sim {
namespace {

using testing::TempDir;

TEST(SimHistory, QuarterHourDayFilesUpToNowWrittenOverNoDayFileUnlessForced) {
    const LocalTime now = makeTime(2024, 3, 5, 10, 14);
    const auto files = makeHistory(2, now, 1);
    ASSERT_EQ(files.size(), 3u);
    for (std::size_t f = 0; f < files.size(); ++f) {
        const LocalTime day = addDays(makeTime(2024, 3, 3), std::int64_t(f));
        EXPECT_EQ(files[f].name, dayFileName(day));
        FieldReader r(files[f].text);
        int q = 0;
        for (; !r.atEnd(); ++q) {
            const auto late = (parseDateTime(r.readText()) - addMinutes(day, q * 15)).count();
            const float ambient = r.readSingle(), sky = r.readSingle();
            EXPECT_TRUE(late >= 1 && late <= 14 && sky < ambient - 3) << f << " " << q;
        }
        EXPECT_EQ(q, f < 2 ? 96 : 41);  // today: 00:00 to 10:00
    }
    TempDir dir;
    TempDir::write(dir / "2024_3_4.csv", "a real log\r\n");
    EXPECT_THAT([&] { writeHistory(dir.str(), 2, now, 4, false); },
                ::testing::ThrowsMessage<std::runtime_error>(
                    ::testing::HasSubstr(dir.file("2024_3_4.csv"))));
    EXPECT_EQ(dir.entryCount(), 1u) << "nothing written";
    EXPECT_EQ(writeHistory(dir.str(), 2, now, 4, true), 3);
    EXPECT_EQ(TempDir::read(dir / "2024_3_4.csv"), makeHistory(2, now, 4)[1].text);
}

}  // namespace
}  // namespace skarvel::sim
