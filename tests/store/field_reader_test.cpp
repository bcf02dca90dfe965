#include "store/field_reader.h"

#include <gmock/gmock.h>

#include "fakes/temp_dir.h"

namespace skarvel {
namespace {

using testing::TempDir;
using testing::throwsVb;

TEST(FieldReader, SeparatorsQuotesBlanksAndLineEnds) {
    FieldReader r("  -25,\"a, b\" , plain text,,\r\nnext\rcr\nlf,3");
    EXPECT_FLOAT_EQ(r.readSingle(), -25.0f);
    EXPECT_EQ(r.readText(), "a, b");
    EXPECT_EQ(r.readText(), "plain text");
    // The empty field is the one between the two commas; a line end only separates.
    EXPECT_EQ(r.readText(), "");
    EXPECT_EQ(r.readText(), "next");
    EXPECT_EQ(r.readText(), "cr");
    EXPECT_EQ(r.readText(), "lf");
    EXPECT_EQ(r.readInteger(), 3);
    EXPECT_TRUE(r.atEnd());
    EXPECT_THAT([&] { r.readText(); }, throwsVb(err::kInputPastEnd));
}

TEST(FieldReader, TypedAndUntypedNumbers) {
    FieldReader r(",2.5,3.5,abc,  ,1e3,\"7\",x");
    EXPECT_FLOAT_EQ(r.readSingle(), 0.0f);  // empty
    EXPECT_EQ(r.readInteger(), 2);          // half to even
    EXPECT_EQ(r.readInteger(), 4);
    EXPECT_THAT([&] { r.readSingle(); }, throwsVb(err::kTypeMismatch));
    const FieldValue blank = r.readValue();
    EXPECT_TRUE(blank.numeric);
    EXPECT_EQ(blank.asNumber(), 0.0);
    EXPECT_EQ(r.readValue().asNumber(), 1000.0);
    EXPECT_EQ(r.readValue().asNumber(), 7.0);
    const FieldValue text = r.readValue();
    EXPECT_FALSE(text.numeric);
    EXPECT_EQ(text.text, "x");
    EXPECT_THAT([&] { text.asNumber(); }, throwsVb(err::kTypeMismatch));
}

TEST(FieldReader, EndOfFileRules) {
    // Trailing line ends and blank lines hold no field, whatever the line-end style.
    for (const char* tail : {"", "\r\n", "\n", "\r", "\r\n\r\n", "\r\n  \r\n"}) {
        FieldReader r(std::string("1/2/2008 3:04:05 AM,1.5,-20") + tail);
        int records = 0;
        for (; !r.atEnd(); ++records) {
            r.readText();
            r.readValue();
            r.readValue();
        }
        EXPECT_EQ(records, 1) << ::testing::PrintToString(std::string(tail));
    }
    EXPECT_TRUE(FieldReader("").atEnd());

    // A last record without its third field: the third read fails, the first two stay read.
    FieldReader r("12/1/2008,3.2,-28\r\n12/2/2008,4\r\n");
    for (int i = 0; i < 3; ++i) r.readText();
    EXPECT_EQ(r.readText(), "12/2/2008");
    EXPECT_EQ(r.readValue().asNumber(), 4.0);
    EXPECT_THAT([&] { r.readValue(); }, throwsVb(err::kInputPastEnd));
    EXPECT_THAT([&] { r.readText(); }, throwsVb(err::kInputPastEnd));

    // An unclosed quote runs to the end of the file.
    FieldReader open("\"a,b\r\nc");
    EXPECT_EQ(open.readText(), "a,b\r\nc");
    EXPECT_TRUE(open.atEnd());
}

TEST(FieldReader, FromFileReadsTheWholeFileAtOnce) {
    TempDir dir;
    TempDir::write(dir / "2008_12_1.csv", "12/1/2008 9:39:05 PM,-28.46667\r\n");
    FieldReader r = FieldReader::fromFile(dir.file("2008_12_1.csv"));
    std::filesystem::remove(dir / "2008_12_1.csv");
    EXPECT_EQ(r.readText(), "12/1/2008 9:39:05 PM");
    EXPECT_FLOAT_EQ(r.readSingle(), -28.46667f);
    EXPECT_THAT([&] { FieldReader::fromFile(dir.file("2008_12_2.csv")); },
                throwsVb(err::kFileNotFound));
}

}  // namespace
}  // namespace skarvel
