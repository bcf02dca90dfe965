#include "store/field_reader.h"

#include <utility>

#include "store/file_io.h"
#include "store/value_text.h"
#include "store/vb_error.h"

namespace skarvel {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

bool isEmptyField(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

double FieldValue::asNumber() const {
    if (!numeric) throw vbError(err::kTypeMismatch);
    return number;
}

FieldReader::FieldReader(std::string content) : content_(std::move(content)) {}

FieldReader FieldReader::fromFile(const std::string& path) {
    return FieldReader(readWholeFile(path));
}

// Blank lines hold no field, so trailing line ends (or an extra empty last line) leave the
// reader at its end instead of yielding one more, empty field.
bool FieldReader::atEnd() const {
    for (std::size_t i = pos_; i < content_.size(); ++i) {
        if (!isBlank(content_[i]) && !isLineEnd(content_[i])) return false;
    }
    return true;
}

std::string FieldReader::readText() {
    if (atEnd()) throw vbError(err::kInputPastEnd);
    while (isBlank(content_[pos_]) || isLineEnd(content_[pos_])) ++pos_;

    auto consumeSeparator = [this] {
        if (pos_ >= content_.size()) return;
        if (content_[pos_] == ',') {
            ++pos_;
        } else if (content_[pos_] == '\r') {
            ++pos_;
            if (pos_ < content_.size() && content_[pos_] == '\n') ++pos_;
        } else if (content_[pos_] == '\n') {
            ++pos_;
        }
    };

    if (content_[pos_] == '"') {
        const std::size_t start = pos_ + 1;
        const std::size_t close = content_.find('"', start);
        const std::size_t end = close == std::string::npos ? content_.size() : close;
        std::string field = content_.substr(start, end - start);
        pos_ = close == std::string::npos ? content_.size() : close + 1;
        while (pos_ < content_.size() && isBlank(content_[pos_])) ++pos_;
        consumeSeparator();
        return field;
    }

    const std::size_t start = pos_;
    while (pos_ < content_.size() && content_[pos_] != ',' && !isLineEnd(content_[pos_])) ++pos_;
    std::string field = content_.substr(start, pos_ - start);
    consumeSeparator();
    return field;
}

float FieldReader::readSingle() {
    const std::string field = readText();
    return isEmptyField(field) ? 0.0f : parseSingle(field);
}

std::int16_t FieldReader::readInteger() {
    const std::string field = readText();
    return isEmptyField(field) ? std::int16_t(0) : parseInteger(field);
}

FieldValue FieldReader::readValue() {
    FieldValue value;
    value.text = readText();
    if (isEmptyField(value.text)) {
        value.numeric = true;
    } else if (isNumber(value.text)) {
        value.numeric = true;
        value.number = parseDouble(value.text);
    }
    return value;
}

}  // namespace skarvel
