// One JSON document built in order: the --json answers of nicopsctl. Texts are given in GBK, as
// the core holds them, and written as UTF-8; names are ASCII.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nicops::app {

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // The name of the next member of the object being written.
    JsonWriter& key(std::string_view name);

    JsonWriter& text(std::string_view gbk);
    JsonWriter& number(std::int64_t value);
    // A decimal text as a number ("-12", "101"); anything else as a text.
    JsonWriter& numberText(std::string_view decimal);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

    // key(name) and the value.
    JsonWriter& field(std::string_view name, std::string_view gbk) { return key(name).text(gbk); }
    JsonWriter& field(std::string_view name, const char* gbk) { return key(name).text(gbk); }
    JsonWriter& field(std::string_view name, std::int64_t value) { return key(name).number(value); }
    JsonWriter& field(std::string_view name, bool value) { return key(name).boolean(value); }

    // The document, with a line end.
    std::string document() const { return out_ + "\n"; }

private:
    void beforeValue();

    std::string out_;
    std::vector<bool> first_;  // per open object or array: no member written yet
    bool afterKey_ = false;
};

// `gbk` as the text of a JSON string, quotes included, in UTF-8.
std::string jsonString(std::string_view gbk);

}  // namespace nicops::app
