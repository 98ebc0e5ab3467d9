// A small writer of one-line JSON objects, for the inspection and benchmark tools.
// Numbers are written in the C locale; strings are escaped as JSON requires (bytes
// that are not valid UTF-8 are written as \u00XX so the line stays valid JSON).
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/base/PathUtil.h"

namespace orv {

class JsonWriter {
public:
    JsonWriter& BeginObject() { Separator(); out_ += '{'; first_ = true; return *this; }
    JsonWriter& EndObject() { out_ += '}'; first_ = false; return *this; }
    JsonWriter& BeginArray() { Separator(); out_ += '['; first_ = true; return *this; }
    JsonWriter& EndArray() { out_ += ']'; first_ = false; return *this; }

    // Starts a member of the current object; the value call that follows writes it.
    JsonWriter& Key(std::string_view k) {
        Separator();
        AppendString(k);
        out_ += ':';
        first_ = true;  // the value that follows needs no comma
        return *this;
    }

    JsonWriter& String(std::string_view v) { Separator(); AppendString(v); return *this; }
    JsonWriter& Bool(bool v) { Separator(); out_ += v ? "true" : "false"; return *this; }
    JsonWriter& Null() { Separator(); out_ += "null"; return *this; }
    JsonWriter& Int(std::int64_t v) { Separator(); out_ += std::to_string(v); return *this; }
    JsonWriter& Uint(std::uint64_t v) { Separator(); out_ += std::to_string(v); return *this; }
    // Non-finite numbers have no JSON form; they are written as null.
    JsonWriter& Double(double v, int digits = 9) {
        Separator();
        if (!std::isfinite(v)) { out_ += "null"; return *this; }
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.*g", digits, v);
        out_ += buf;
        return *this;
    }

    const std::string& str() const { return out_; }
    void Clear() { out_.clear(); first_ = true; }

private:
    void Separator() {
        if (!first_) out_ += ',';
        first_ = false;
    }

    void AppendString(std::string_view s) {
        out_ += '"';
        for (std::size_t i = 0; i < s.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            switch (c) {
                case '"': out_ += "\\\""; break;
                case '\\': out_ += "\\\\"; break;
                case '\n': out_ += "\\n"; break;
                case '\r': out_ += "\\r"; break;
                case '\t': out_ += "\\t"; break;
                default:
                    if (c < 0x20 || (c >= 0x80 && !ValidUtf8At(s, i))) {
                        char buf[8];
                        std::snprintf(buf, sizeof buf, "\\u%04x", c);
                        out_ += buf;
                    } else if (c >= 0x80) {
                        const std::size_t n = Utf8Len(c);
                        out_.append(s.substr(i, n));
                        i += n - 1;
                    } else {
                        out_ += char(c);
                    }
            }
        }
        out_ += '"';
    }

    static std::size_t Utf8Len(unsigned char c) {
        return (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    }
    // Whether a character of two to four bytes starts at s[i]: overlong forms, surrogates
    // and values past U+10FFFF do not count, as they would make the line invalid UTF-8.
    static bool ValidUtf8At(std::string_view s, std::size_t i) {
        const std::size_t n = Utf8Len(static_cast<unsigned char>(s[i]));
        return n > 1 && i + n <= s.size() && IsValidUtf8(s.substr(i, n));
    }

    std::string out_;
    bool first_ = true;
};

}  // namespace orv
