#pragma once

#include <cstdint>
#include <string>

namespace skarvel {

/// A field read without a type: a number when it reads as one (an empty field reads as 0),
/// otherwise text.
struct FieldValue {
    bool numeric = false;
    double number = 0;
    std::string text;

    /// The number; throws VbError 13 for a field that is text.
    double asNumber() const;
};

/// Reads a text as a stream of comma- or line-end-separated fields: blanks in front of a field
/// are skipped, a field in double quotes runs to the closing quote, line ends mean nothing more
/// than a separator. Reading past the end throws VbError 62.
class FieldReader {
  public:
    explicit FieldReader(std::string content);
    /// Reads the whole file at once, so nothing stays open while the fields are taken.
    static FieldReader fromFile(const std::string& path);

    /// True when no field is left.
    bool atEnd() const;
    std::string readText();
    /// Typed reads: an empty field reads as 0; text that is not a number throws VbError 13.
    float readSingle();
    std::int16_t readInteger();
    FieldValue readValue();

  private:
    std::string content_;
    std::size_t pos_ = 0;
};

}  // namespace skarvel
