#include "stream_reader/json_writer.h"

#include <cmath>

#include "stream_reader/format.h"

namespace kzinspect {

void JsonWriter::separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!first_.empty()) {
        if (!first_.back()) text_ += ',';
        first_.back() = false;
    }
}

JsonWriter& JsonWriter::beginObject() {
    separate();
    text_ += '{';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    text_ += '}';
    first_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    separate();
    text_ += '[';
    first_.push_back(true);
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    text_ += ']';
    first_.pop_back();
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    string(name);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::number(int64_t value) {
    separate();
    text_ += std::to_string(value);
    return *this;
}

JsonWriter& JsonWriter::real(double value) {
    separate();
    text_ += std::isfinite(value) ? formatText("%.3f", value) : std::string("null");
    return *this;
}

JsonWriter& JsonWriter::boolean(bool value) {
    separate();
    text_ += value ? "true" : "false";
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    separate();
    text_ += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text_ += '\\';
            text_ += c;
        } else if (u < 0x20 || u >= 0x7F) {
            text_ += formatText("\\u%04x", u);
        } else {
            text_ += c;
        }
    }
    text_ += '"';
    return *this;
}

JsonWriter& JsonWriter::null() {
    separate();
    text_ += "null";
    return *this;
}

}  // namespace kzinspect
