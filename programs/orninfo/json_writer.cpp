#include "orninfo/json_writer.hpp"

#include <cmath>
#include <cstdio>

namespace ornpcap::orninfo {

namespace {

void appendEscaped(std::string& out, uint8_t byte) {
    switch (byte) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: break;
    }
    char text[8];
    std::snprintf(text, sizeof text, "\\u%04x", unsigned{byte});
    out += text;
}

// The length of the well-formed UTF-8 sequence at p (at most n bytes), 0 when none.
size_t utf8Length(const uint8_t* p, size_t n) {
    const size_t length = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC2 ? 2 : 0;
    if (length == 0 || length > n || p[0] > 0xF4) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    const bool bad = (p[0] == 0xE0 && p[1] < 0xA0) || (p[0] == 0xED && p[1] >= 0xA0) ||
                     (p[0] == 0xF0 && p[1] < 0x90) || (p[0] == 0xF4 && p[1] >= 0x90);
    return bad ? 0 : length;
}

}  // namespace

std::string jsonString(std::string_view text) {
    std::string out = "\"";
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const uint8_t byte = p[i];
        if (byte >= 0x80) {
            const size_t length = utf8Length(p + i, text.size() - i);
            if (length != 0) {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
            appendEscaped(out, byte);  // Latin-1
        } else if (byte < 0x20 || byte == '"' || byte == '\\') {
            appendEscaped(out, byte);
        } else {
            out += static_cast<char>(byte);
        }
        ++i;
    }
    return out + "\"";
}

void JsonWriter::newline() {
    text_ += '\n';
    text_.append(2 * empty_.size(), ' ');
}

// Where a value goes: after its key, or as the next element.
void JsonWriter::value(std::string_view literal) {
    if (!afterKey_ && !empty_.empty()) {
        if (!empty_.back()) {
            text_ += ',';
        }
        empty_.back() = false;
        newline();
    }
    afterKey_ = false;
    text_.append(literal);
}

void JsonWriter::open(char bracket) {
    value(std::string_view(&bracket, 1));
    empty_.push_back(true);
}

void JsonWriter::close(char bracket) {
    const bool wasEmpty = empty_.back();
    empty_.pop_back();
    if (!wasEmpty) {
        newline();
    }
    text_ += bracket;
    if (empty_.empty()) {
        text_ += '\n';
    }
}

JsonWriter& JsonWriter::beginObject() { open('{'); return *this; }
JsonWriter& JsonWriter::endObject() { close('}'); return *this; }
JsonWriter& JsonWriter::beginArray() { open('['); return *this; }
JsonWriter& JsonWriter::endArray() { close(']'); return *this; }

JsonWriter& JsonWriter::key(std::string_view name) {
    value(jsonString(name) + ": ");
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::string(std::string_view text) {
    value(jsonString(text));
    return *this;
}

JsonWriter& JsonWriter::fraction(double v, int decimals) {
    if (!std::isfinite(v)) {
        return null();
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    std::string digits = text;
    if (digits.find('.') != std::string::npos) {
        digits.erase(digits.find_last_not_of('0') + 1);
        if (digits.back() == '.') {
            digits.pop_back();
        }
    }
    value(digits == "-0" ? "0" : digits);
    return *this;
}

JsonWriter& JsonWriter::boolean(bool v) {
    value(v ? "true" : "false");
    return *this;
}

JsonWriter& JsonWriter::null() {
    value("null");
    return *this;
}

}  // namespace ornpcap::orninfo
