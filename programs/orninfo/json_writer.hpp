#pragma once
// A small JSON writer: objects, arrays, strings, numbers, booleans and null,
// indented by two blanks per level. Strings are escaped as JSON asks (quote,
// backslash, control characters); bytes that are not UTF-8 are taken as
// Latin-1 and written as \u00XX, so that the text is valid JSON whatever a
// trace's description or a file name holds.

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ornpcap::orninfo {

class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // The key of the next value in an object.
    JsonWriter& key(std::string_view name);

    JsonWriter& string(std::string_view text);
    template <std::integral T>
    JsonWriter& number(T v) {
        value(std::to_string(v));
        return *this;
    }
    // With at most `decimals` digits after the point, trailing zeros dropped.
    JsonWriter& fraction(double value, int decimals);
    JsonWriter& boolean(bool value);
    JsonWriter& null();

    // The text so far; whole once every object and array is ended.
    const std::string& text() const { return text_; }

private:
    void value(std::string_view literal);
    void open(char bracket);
    void close(char bracket);
    void newline();

    std::string text_;
    std::vector<bool> empty_;  // per open object or array: nothing in it yet
    bool afterKey_ = false;
};

// The text as a JSON string, quotes included.
std::string jsonString(std::string_view text);

}  // namespace ornpcap::orninfo
