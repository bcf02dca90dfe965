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

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void readAll(const std::string& input) {
    FieldReader reader(input);
    std::size_t reads = 0;
    while (!reader.atEnd()) {
        // Every field takes at least one byte, so a reader that stalls is caught here.
        check(++reads <= input.size());
        const unsigned kind = input.empty() ? 0 : std::uint8_t(input[reads % input.size()]) % 4;
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
}

void roundTrips(const std::string& input) {
    try {
        const LocalTime t = parseDateTime(input);
        check(parseDateTime(dateTimeText(t)) == t);
    } catch (const VbError& e) {
        check(e.number() == err::kTypeMismatch);
    }
    try {
        const float v = parseSingle(input);
        check(std::isfinite(v));
        const float back = parseSingle(singleText(v));
        check(std::fabs(back - v) <= std::fabs(v) * 1e-6f + 1e-37f);
    } catch (const VbError& e) {
        check(e.number() == err::kTypeMismatch || e.number() == err::kOverflow);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    readAll(input);
    roundTrips(input);
    return 0;
}
