#include <functional>
#include <stdexcept>

#include <gmock/gmock.h>

#include "fakes/fake_desktop_services.h"
#include "fakes/temp_dir.h"
#include "store/config.h"
#include "store/field_reader.h"
#include "store/value_text.h"

namespace skarvel {
namespace {

using testing::TempDir;
using testing::throwsVb;

/// What a call returns, or "#" and the number of the VbError it throws.
std::string outcome(const std::function<std::string()>& call) {
    try {
        return call();
    } catch (const VbError& e) {
        return "#" + std::to_string(e.number());
    }
}

// A reading cut to one decimal comes back as the very same float (the fuzz target checks the
// seventh significant digit of any other).
TEST(ValueText, NumbersRoundTripAndReadTheClassicGrammar) {
    const std::pair<float, const char*> texts[] = {
        {-4, "-4"}, {0.5f, "0.5"}, {-23.4333333f, "-23.43333"}, {-0.0f, "0"}, {1e30f, "1E+30"}};
    for (auto [value, text] : texts) EXPECT_EQ(singleText(value), text);
    for (int tenths = -600; tenths <= 600; ++tenths) {
        ASSERT_EQ(parseSingle(singleText(float(tenths) / 10)), float(tenths) / 10) << tenths;
    }
    // clang-format off
    const std::pair<const char*, const char*> numbers[] = {  // a value, or the error's number
        {" +2.5 ", "2.5"}, {"3e1", "30"}, {"-1.5E+2", "-150"}, {"7e-1", "0.7"}, {".5", "0.5"}, {"5.", "5"},
        {"1e-400", "0"}, {"1e39", "#6"}, {"inf", "#13"}, {"0x10", "#13"}, {"1e", "#13"}, {"1e+", "#13"},
        {"--1", "#13"}, {"1,5", "#13"}, {".", "#13"}, {"", "#13"}};
    // clang-format on
    for (auto [text, expected] : numbers) {
        EXPECT_EQ(outcome([&] { return singleText(parseSingle(text)); }), expected) << text;
    }
    EXPECT_EQ(parseInteger("2.5") * 10 + parseInteger("3.5"), 24);  // half to even
    EXPECT_EQ(outcome([] { return std::to_string(parseInteger("32767.5")); }), "#6");
    EXPECT_EQ(parseInteger("-32768"), -32768);
}

TEST(ValueText, DateTimesRoundTripToTheSecond) {
    for (int s = 0; s < 86400; s += 37) {
        const LocalTime t = makeTime(2008, 12, 1) + std::chrono::seconds(s);
        ASSERT_EQ(parseDateTime(dateTimeText(t)), t) << dateTimeText(t);
    }
    // clang-format off
    const std::pair<LocalTime, const char*> fixed[] = {
        {makeTime(2008, 12, 1), "12/1/2008"}, {makeTime(2008, 12, 1, 0, 0, 1), "12/1/2008 12:00:01 AM"},
        {makeTime(2008, 12, 1, 1), "12/1/2008 1:00:00 AM"}, {makeTime(2008, 12, 1, 12), "12/1/2008 12:00:00 PM"},
        {makeTime(2008, 3, 5, 21, 39, 5), "3/5/2008 9:39:05 PM"}, {makeTime(2024, 2, 29, 13), "2/29/2024 1:00:00 PM"}};
    // clang-format on
    for (auto [t, text] : fixed) {
        EXPECT_EQ(dateTimeText(t), text);
        EXPECT_EQ(parseDateTime(text), t) << text;
    }
    EXPECT_EQ(parseDateTime(" 12/1/2008  13:05 "), makeTime(2008, 12, 1, 13, 5));
    for (const char* bad : {"13/45/2008", "2/30/2023", "12/1/99", "12/1/2008x", "12/1/2008 0:30 AM",
                            "12/1/2008 13:00 PM", "12/1/2008 1:005 PM", "12/1/2008 1:00 XM"}) {
        EXPECT_THAT([&] { parseDateTime(bad); }, throwsVb(13)) << bad;
    }
}

// Each read: t text, s single, i integer, v value (a text one marked '), . at the end or not;
// a failed read shows its error number.
std::string reads(const std::string& content, const std::string& kinds) {
    FieldReader r(content);
    std::string out;
    for (char kind : kinds) {
        out += outcome([&]() -> std::string {
                   if (kind == 't') return r.readText();
                   if (kind == 's') return singleText(r.readSingle());
                   if (kind == 'i') return std::to_string(r.readInteger());
                   if (kind == '.') return r.atEnd() ? "end" : "more";
                   const FieldValue v = r.readValue();
                   return v.numeric ? singleText(float(v.number)) : "'" + v.text;
               }) +
               "|";
    }
    return out;
}

TEST(FieldReader, SeparatorsQuotesBlanksLineEndsAndTypes) {
    // clang-format off
    const std::tuple<const char*, const char*, const char*> cases[] = {
        {"  -25,\"a, b\" , plain text,,\r\nnext\rcr\nlf,3", "stttttti.t", "-25|a, b|plain text||next|cr|lf|3|end|#62|"},
        {",2.5,3.5,abc,  ,1e3,\"7\",x", "siisvvvv", "0|2|4|#13|0|1000|7|'x|"},
        {"12/1/2008,3.2,-28\r\n12/2/2008,4\r\n", "ttttvvt", "12/1/2008|3.2|-28|12/2/2008|4|#62|#62|"},
        {"\"a,b\r\nc", "t.", "a,b\r\nc|end|"},  // an unclosed quote runs to the end
        {"1,2\r\n\r\n  \r\n", "tt.", "1|2|end|"}, {"1,2\r", "tt.", "1|2|end|"}, {"1,2\n", "tt.", "1|2|end|"},
        {"", ".v", "end|#62|"}};
    // clang-format on
    for (auto [content, kinds, expected] : cases) EXPECT_EQ(reads(content, kinds), expected);
}

struct BrokenAppPath : testing::FakeDesktopServices {
    std::string appPath() const override { throw std::runtime_error("no module name"); }
};

TEST(Config, FourFixedLinesReadBackByPosition) {
    testing::FakeDesktopServices services("/opt/sky");
    BrokenAppPath broken;
    EXPECT_EQ(GetEXEPath(services) + GetEXEPath(broken), "/opt/sky/");
    services.setAppPath("/");
    EXPECT_EQ(GetEXEPath(services), "/");
    EXPECT_THAT(broken.messages, ::testing::ElementsAre("Error 51 (Internal error: no module "
                                                        "name) at line 10 in procedure "
                                                        "GetEXEPath of Form frmMain"));
    TempDir dir;
    Settings s;
    LoadConfig(s, dir.folder());  // first start: no file, nothing changes
    SaveConfig(s, dir.folder());
    EXPECT_EQ(TempDir::read(dir / "config.ini"),
              "webPath,\r\ncommportid,1\r\ncloudyThreshold,-25\r\nvCloudyThreshold,-15\r\n");
    const std::string kept = "\r\ncommportid,4\r\ncloudyThreshold,3.5\r\nvCloudyThreshold,-30\r\n";
    // clang-format off
    const std::tuple<std::string, int, std::string> loads[] = {
        {"port,/srv/\nwebPath, 7\r\nvCloudyThreshold,  -12.5\rc,-30", 0,
         "webPath,/srv/\r\ncommportid,7\r\ncloudyThreshold,-12.5\r\nvCloudyThreshold,-30\r\n"},
        {"webPath,/x/\r\ncommportid,4\r\ncloudyThreshold,3.5\r\n", 62, "webPath,/x/" + kept},
        {"webPath,/y/\r\ncommportid,COM2\r\n", 13, "webPath,/y/" + kept},
        {"w,/z/\r\nc,40000\r\n", 6, "webPath,/z/" + kept}};
    // clang-format on
    for (const auto& [text, error, after] : loads) {  // a failed load keeps what it read
        TempDir::write(dir / "config.ini", text);
        EXPECT_EQ(outcome([&] { return LoadConfig(s, dir.folder()), configText(s); }),
                  error ? "#" + std::to_string(error) : after);
        EXPECT_EQ(configText(s), after);
    }
}

}  // namespace
}  // namespace skarvel
