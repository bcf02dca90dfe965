// Any bytes, read field by field with a read kind chosen by the bytes themselves, must end in
// atEnd or a VbError; and whatever the value readers accept must survive its own text form.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/date_time.h"
#include "store/field_reader.h"
#include "store/value_text.h"
#include "store/vb_error.h"

using namespace skarvel;

static void check(bool ok) {
    if (!ok) std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    FieldReader reader(input);
    // Every field takes at least one byte, so a reader that stalls runs out of reads.
    for (std::size_t reads = 1; !reader.atEnd(); ++reads) {
        check(reads <= size);
        const unsigned kind = std::uint8_t(input[reads % size]) % 4;
        try {
            if (kind == 0) reader.readText();
            if (kind == 1) check(std::isfinite(reader.readSingle()));
            if (kind == 2) reader.readInteger();
            const FieldValue v = kind == 3 ? reader.readValue() : FieldValue{true, 0, ""};
            check(!v.numeric || std::isfinite(v.asNumber()));
        } catch (const VbError& e) {
            // Only the typed reads may refuse a field that is there.
            check(e.number() == err::kTypeMismatch || e.number() == err::kOverflow);
        }
    }
    try {
        reader.readValue();
        check(false);
    } catch (const VbError& e) {
        check(e.number() == err::kInputPastEnd);
    }
    try {
        const LocalTime t = parseDateTime(input);
        check(parseDateTime(dateTimeText(t)) == t);
    } catch (const VbError& e) {
        check(e.number() == err::kTypeMismatch);
    }
    try {
        const float v = parseSingle(input);
        check(std::fabs(parseSingle(singleText(v)) - v) <= std::fabs(v) * 1e-6f + 1e-37f);
    } catch (const VbError& e) {
        check(e.number() == err::kTypeMismatch || e.number() == err::kOverflow);
    }
    return 0;
}
