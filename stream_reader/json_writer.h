// A small streaming JSON writer: enough for the inspector's reports.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kzinspect {

class JsonWriter {
  public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);  // inside an object, before each value
    JsonWriter& number(int64_t value);
    JsonWriter& real(double value);
    JsonWriter& boolean(bool value);
    JsonWriter& string(std::string_view text);
    JsonWriter& null();
    const std::string& text() const { return text_; }

  private:
    void separate();
    std::string text_;
    std::vector<bool> first_;  // per open container: no element written yet
    bool afterKey_ = false;
};

}  // namespace kzinspect
