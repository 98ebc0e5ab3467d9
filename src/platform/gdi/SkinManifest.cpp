#include "platform/gdi/SkinManifest.h"

#include <charconv>
#include <set>
#include <utility>

namespace orv {

namespace {

// Largest side of a picture; the main window background is the largest at 1200.
constexpr int kMaxSide = 8192;

bool ParseInt(std::string_view s, int* out) {
    const char* end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, *out);
    return ec == std::errc() && p == end;
}

bool ParseColour(std::string_view s, COLORREF* out) {
    if (s.size() != 6) return false;
    unsigned value = 0;
    const char* end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, value, 16);
    if (ec != std::errc() || p != end) return false;
    *out = RGB(int(value >> 16), int((value >> 8) & 0xFF), int(value & 0xFF));
    return true;
}

// Splits off the next blank-separated field of `line`.
std::string_view NextField(std::string_view* line) {
    const size_t start = line->find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        *line = {};
        return {};
    }
    line->remove_prefix(start);
    const size_t end = line->find_first_of(" \t");
    const std::string_view field = line->substr(0, end);
    line->remove_prefix(end == std::string_view::npos ? line->size() : end);
    return field;
}

std::string_view Trim(std::string_view s) {
    const size_t start = s.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) return {};
    const size_t end = s.find_last_not_of(" \t\r");
    return s.substr(start, end - start + 1);
}

bool Fail(std::string* message, const char* text) {
    *message = text;
    return false;
}

// Reads one non-empty, non-comment line; the message says what is wrong.
bool ParseLine(std::string_view line, SkinPicture* p, std::string* message) {
    const std::string_view id = NextField(&line);
    const std::string_view width = NextField(&line);
    const std::string_view height = NextField(&line);
    const std::string_view kind = NextField(&line);
    const std::string_view background = NextField(&line);
    const std::string_view key = NextField(&line);
    const std::string_view source = Trim(line);

    if (!ParseInt(id, &p->id) || p->id < 1 || p->id > 65535) return Fail(message, "bad id");
    if (!ParseInt(width, &p->width) || !ParseInt(height, &p->height) || p->width < 1 ||
        p->height < 1 || p->width > kMaxSide || p->height > kMaxSide)
        return Fail(message, "bad size");

    if (kind == "BMP") {
        p->kind = SkinKind::Bmp;
        if (!ParseColour(background, &p->background)) return Fail(message, "bad background");
        if (key == "none")
            p->key = SkinKey::None;
        else if (key == "black")
            p->key = SkinKey::Black;
        else if (key == "white")
            p->key = SkinKey::White;
        else
            return Fail(message, "bad key");
    } else if (kind == "MASK" || kind == "PNG") {
        p->kind = kind == "MASK" ? SkinKind::Mask : SkinKind::Png;
        if (background != "-" || key != "-") return Fail(message, "background and key must be -");
        p->background = 0;
        p->key = SkinKey::None;
    } else {
        return Fail(message, "bad kind");
    }

    if (source.empty()) return Fail(message, "no source");
    p->source = std::string(source);
    return true;
}

}  // namespace

bool ParseSkinManifest(std::string_view text, std::vector<SkinPicture>* out, std::string* error) {
    out->clear();
    std::set<int> seen;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const size_t newline = text.find('\n');
        const std::string_view line = Trim(text.substr(0, newline));
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (line.empty() || line.front() == '#') continue;

        SkinPicture picture;
        std::string message;
        bool ok = ParseLine(line, &picture, &message);
        if (ok && !seen.insert(picture.id).second) {
            ok = false;
            message = "id listed twice";
        }
        if (!ok) {
            if (error) *error = "line " + std::to_string(lineNumber) + ": " + message;
            out->clear();
            return false;
        }
        out->push_back(std::move(picture));
    }
    return true;
}

}  // namespace orv
