// Any bytes, read field by field with a read kind chosen by the bytes themselves, must end in
// atEnd or a VbError, and the numbers it gives are finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "store/field_reader.h"
#include "store/vb_error.h"

using namespace skarvel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    FieldReader reader(input);
    // Every field takes at least one byte, so a reader that stalls runs out of reads.
    for (std::size_t reads = 1; !reader.atEnd(); ++reads) {
        if (reads > size) std::abort();
        const unsigned kind = std::uint8_t(input[reads % size]) % 4;
        try {
            if (kind == 0) reader.readText();
            if (kind == 1 && !std::isfinite(reader.readSingle())) std::abort();
            if (kind == 2) reader.readInteger();
            const FieldValue v = kind == 3 ? reader.readValue() : FieldValue{true, 0, ""};
            if (v.numeric && !std::isfinite(v.asNumber())) std::abort();
        } catch (const VbError& e) {
            // Only the typed reads may refuse a field that is there.
            if (e.number() != err::kTypeMismatch && e.number() != err::kOverflow) std::abort();
        }
    }
    try {
        reader.readValue();
        std::abort();
    } catch (const VbError& e) {
        if (e.number() != err::kInputPastEnd) std::abort();
    }
    return 0;
}
