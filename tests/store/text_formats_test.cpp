#include <array>
#include <functional>
#include <map>
#include <new>

#include <gmock/gmock.h>

#include "fakes/fake_desktop_services.h"
#include "fakes/temp_dir.h"
#include "store/config.h"
#include "store/field_reader.h"
#include "store/file_io.h"
#include "store/setup_fields.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {
namespace {

using testing::TempDir;

/// What a call returns, or "#" and the number of the VbError it throws.
std::string outcome(const std::function<std::string()>& call) {
    try {
        return call();
    } catch (const VbError& e) {
        return "#" + std::to_string(e.number());
    }
}

// A reading cut to one decimal comes back as the very same float, and a time as the same second.
TEST(ValueText, NumbersAndDateTimesRoundTripAndReadTheClassicGrammar) {
    for (int tenths = -600; tenths <= 600; ++tenths)
        ASSERT_EQ(parseSingle(singleText(float(tenths) / 10)), float(tenths) / 10) << tenths;
    for (int s = 0; s < 86400; s += 37) {
        const LocalTime t = makeTime(2008, 12, 1) + std::chrono::seconds(s);
        ASSERT_EQ(parseDateTime(dateTimeText(t)), t) << dateTimeText(t);
    }
    EXPECT_EQ(dateTimeText(makeTime(2008, 12, 1)), "12/1/2008");
    EXPECT_EQ(dateTimeText(makeTime(2008, 12, 1, 0, 0, 1)), "12/1/2008 12:00:01 AM");
    EXPECT_EQ(errorMessage(asVbError(std::bad_alloc()), 10, "PlotGraph", "frmYear"),
              "Error 7 (Out of memory) at line 10 in procedure PlotGraph of Form frmYear");
    // A text read as a single (s), an integer (i) or a date (d) and written back (= as it was);
    // or the error.
    // clang-format off
    const std::map<char, std::vector<std::pair<const char*, const char*>>> texts = {
        {'s', {{" +2.5 ", "2.5"}, {"-23.4333333", "-23.43333"}, {"-0", "0"}, {"1e30", "1E+30"},
               {"3e1", "30"}, {"-1.5E+2", "-150"}, {"7e-1", "0.7"}, {".5", "0.5"}, {"5.", "5"},
               {"1e-400", "0"}, {"1e39", "#6"}, {"inf", "#13"}, {"0x10", "#13"}, {"1e", "#13"},
               {"1e+", "#13"}, {"--1", "#13"}, {"1,5", "#13"}, {".", "#13"}, {"", "#13"}}},
        {'i', {{"2.5", "2"}, {"3.5", "4"}, {"-32768", "-32768"}, {"32767.5", "#6"}}},
        {'d', {{"12/1/2008 12:00:00 PM", "="}, {"3/5/2008 9:39:05 PM", "="},
               {"2/29/2024 1:00:00 AM", "="}, {"12/31/9999 11:59:59 PM", "="},
               {" 12/1/2008  13:05 ", "12/1/2008 1:05:00 PM"},
               {"13/45/2008", "#13"}, {"2/30/2023", "#13"}, {"12/1/99", "#13"},
               {"12/1/2008x", "#13"}, {"12/1/2008 0:30 AM", "#13"}, {"12/1/2008 13:00 PM", "#13"},
               {"12/1/2008 1:005 PM", "#13"}, {"12/1/2008 1:00 XM", "#13"},
               {"12/1/2008 24:00", "#13"}, {"12/1-2008", "#13"}}}};
    // clang-format on
    for (const auto& [kind, rows] : texts) {
        for (auto [text, expected] : rows) {
            EXPECT_EQ(outcome([&, kind = kind] {
                          if (kind == 'i') return std::to_string(parseInteger(text));
                          return kind == 's' ? singleText(parseSingle(text))
                                             : dateTimeText(parseDateTime(text));
                      }),
                      expected == std::string("=") ? text : expected)
                << text;
        }
    }
}

// Fields as the classic input statement reads them: '#' marks a number, an empty field one too.
TEST(FieldReader, QuotedPlainAndEmptyFieldsToTheLastLineEnd) {
    const std::pair<const char*, const char*> rows[] = {
        {"1,,2.5\r\n\r\n", "1#|#|2.5#|"},
        {" \"a, b\" ,\"c\"d,e\n", "a, b|c|d|e|"},
        {"\"open", "open|"},
        {"a\rb\r", "a|b|"},
    };
    for (const auto& [content, want] : rows) {
        FieldReader r(content);
        std::string got;
        while (!r.atEnd()) {
            const FieldValue v = r.readValue();
            got += v.text + (v.numeric ? "#|" : "|");
        }
        EXPECT_EQ(got, want) << content;
    }
    FieldReader config(",,7\r\n");
    const std::int16_t first = config.readInteger();
    const float second = config.readSingle();
    EXPECT_EQ(std::tuple(first, second, config.readInteger()), std::tuple(0, 0.0f, 7));
}

TEST(Config, FourFixedLinesReadBackByPosition) {
    const std::string sky = std::string("/opt/sky") + kPathSeparator;
    testing::FakeDesktopServices services("/opt/sky");
    EXPECT_EQ(GetEXEPath(services), sky);
    services.appPath_ = sky;
    EXPECT_EQ(GetEXEPath(services), sky);
    TempDir dir;
    Settings s;
    LoadConfig(s, dir.folder());  // first start: no file, nothing changes
    SaveConfig(s, dir.folder());
    EXPECT_EQ(TempDir::read(dir / "config.ini"),
              "webPath,\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n");
    const std::string kept = "\r\ncommportid,4\r\ncloudyThreshold,3.5\r\nvCloudyThreshold,-30\r\n";
    const std::tuple<std::string, int, std::string> loads[] = {
        {"port,/srv/\nwebPath, 7\r\nvCloudyThreshold,  -12.5\rc,-30", 0,
         "webPath,/srv/\r\ncommportid,7\r\ncloudyThreshold,-12.5\r\nvCloudyThreshold,-30\r\n"},
        {"webPath,/x/\r\ncommportid,4\r\ncloudyThreshold,3.5\r\n", 62, "webPath,/x/" + kept},
        {"webPath,/y/\r\ncommportid,COM2\r\n", 13, "webPath,/y/" + kept},
        {"w,/z/\r\nc,40000\r\n", 6, "webPath,/z/" + kept}};
    for (const auto& [text, error, after] : loads) {  // a failed load keeps what it read
        TempDir::write(dir / "config.ini", text);
        EXPECT_EQ(outcome([&] { return LoadConfig(s, dir.folder()), configText(s); }),
                  error ? "#" + std::to_string(error) : after);
        EXPECT_EQ(configText(s), after);
    }
    // A refused entry changes nothing: beyond a float, a threshold would be saved as a text the
    // next start cannot read. The limits themselves pass.
    const std::array<std::string, 5> entries[] = {
        {"3", "-1e39", "10", "Cloudy threshold must be a number", "/z/" + kept},
        {"32768", "-2", "-1", "Com port must be a number from 1 to 32767", "/z/" + kept},
        {"1", "-1e6", "-2", "",
         sky + "\r\ncommportid,1\r\ncloudyThreshold,-1000000\r\nvCloudyThreshold,-2\r\n"},
        {"32767", "-1e6", "1e6", "",
         sky + "\r\ncommportid,32767\r\ncloudyThreshold,-1000000\r\nvCloudyThreshold,1000000\r\n"}};
    for (const auto& [port, cloudy, vCloudy, message, after] : entries) {
        EXPECT_EQ(applySetupFields({port, sky, cloudy, vCloudy}, s).message, message);
        EXPECT_EQ(configText(s), "webPath," + after);
    }
}

}  // namespace
}  // namespace skarvel
