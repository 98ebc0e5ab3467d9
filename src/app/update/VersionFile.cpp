#include "app/update/VersionFile.h"

#include <algorithm>

#include "platform/base/PathUtil.h"
#include "ui/text/UiText.h"

namespace orv {

const std::array<UpdateModel, 6> kUpdateModels = {{
    {"KM1A_download", "/taiou/dr_updata/km1a/km1a_sw_version.txt", "/taiou/dr_updata/km1a/km1a.html"},
    {"KM2B_download", "/taiou/dr_updata/km2b/km2b_sw_version.txt", "/taiou/dr_updata/km2b/km2b.html"},
    {"KM3C_download", "/taiou/dr_updata/km3c/km3c_sw_version.txt", "/taiou/dr_updata/km3c/km3c.html"},
    {"KM3CA_download", "/taiou/dr_updata/km3ca/km3ca_sw_version.txt", "/taiou/dr_updata/km3ca/km3ca.html"},
    {"KM4D_download", "/taiou/dr_updata/km4d/km4d_sw_version.txt", "/taiou/dr_updata/km4d/km4d.html"},
    {"KM5E_download", "/taiou/dr_updata/km5e/km5e_sw_version.txt", "/taiou/dr_updata/km5e/km5e.html"},
}};

namespace {

// UI texts of the message.
constexpr int kTextHeading = 105;
constexpr int kTextCurrent = 107;
constexpr int kTextFirmware = 108;
constexpr int kTextPublished = 109;
constexpr int kTextViewer = 110;
constexpr int kTextGpsData = 111;

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kLinkOpen = "<a href=\"";
constexpr std::string_view kLinkMid = "\">";
constexpr std::string_view kLinkClose = "</a>";
constexpr std::string_view kEntities[] = {"&amp;", "&lt;", "&gt;", "&quot;"};
constexpr std::string_view kBlanks = " \t\r\n\v\f";

// Byte length of the well-formed UTF-8 character at `pos`, 0 for a byte that starts none.
std::size_t CharLength(std::string_view s, std::size_t pos) {
    const unsigned char c = static_cast<unsigned char>(s[pos]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || pos + n > s.size()) return 0;
    return n == 1 || IsValidUtf8(s.substr(pos, n)) ? n : 0;
}

// The code point of the well-formed character of `n` bytes at `pos`.
char32_t CodePoint(std::string_view s, std::size_t pos, std::size_t n) {
    const auto byte = [&](std::size_t i) { return char32_t(static_cast<unsigned char>(s[pos + i])); };
    if (n == 1) return byte(0);
    char32_t cp = byte(0) & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) cp = (cp << 6) | (byte(i) & 0x3F);
    return cp;
}

// Format characters (general category Cf): invisible, yet they change how the text around
// them is shown. A right-to-left override in a version would draw the rest of its line,
// the link included, backwards.
bool IsFormatCharacter(char32_t cp) {
    static constexpr std::pair<char32_t, char32_t> kRanges[] = {
        {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
        {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
        {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
        {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
        {0xE0020, 0xE007F},
    };
    for (const auto& [first, last] : kRanges)
        if (cp >= first && cp <= last) return true;
    return false;
}

// Whether the well-formed character of `n` bytes at `pos` is one that no text of the check
// keeps: C0 controls but tab and the line ends, DEL, C1 controls (U+0080..U+009F) and the
// format characters.
bool IsDroppedCharacter(std::string_view s, std::size_t pos, std::size_t n) {
    const char32_t cp = CodePoint(s, pos, n);
    if ((cp < 0x20 && cp != '\t' && cp != '\r' && cp != '\n') || (cp >= 0x7F && cp < 0xA0)) return true;
    return IsFormatCharacter(cp);
}

// Whether the character at `pos` ends a line: CR, LF, or the line and paragraph separators
// U+2028 and U+2029 (three bytes each).
std::size_t LineBreakLength(std::string_view s, std::size_t pos) {
    if (s[pos] == '\r' || s[pos] == '\n') return 1;
    const std::string_view three = s.substr(pos, 3);
    return three == "\xE2\x80\xA8" || three == "\xE2\x80\xA9" ? 3 : 0;
}

// `bytes` as UTF-8 text without the dropped control characters, with U+FFFD for each byte
// that starts no character, cut after `maxChars` characters.
std::string CleanText(std::string_view bytes, std::size_t maxChars) {
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < bytes.size() && chars < maxChars;) {
        const std::size_t n = CharLength(bytes, i);
        if (n == 0) {
            out += kReplacement;
            ++i;
        } else if (IsDroppedCharacter(bytes, i, n)) {
            i += n;
            continue;
        } else {
            out += bytes.substr(i, n);
            i += n;
        }
        ++chars;
    }
    return out;
}

std::string_view EscapeChar(char c) {
    switch (c) {
    case '&': return kEntities[0];
    case '<': return kEntities[1];
    case '>': return kEntities[2];
    case '"': return kEntities[3];
    default: return {};
    }
}

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        const std::string_view e = EscapeChar(c);
        if (e.empty()) out += c;
        else out += e;
    }
    return out;
}

// The entity at `pos` of `s`, or "" when none of the four starts there.
std::string_view EntityAt(std::string_view s, std::size_t pos) {
    for (std::string_view e : kEntities)
        if (s.substr(pos, e.size()) == e) return e;
    return {};
}

std::string Unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const std::string_view e = EntityAt(s, i);
        if (e.empty()) {
            out += s[i++];
            continue;
        }
        out += e == kEntities[0] ? '&' : e == kEntities[1] ? '<' : e == kEntities[2] ? '>' : '"';
        i += e.size();
    }
    return out;
}

// Builds the message up to its length: escaped characters and whole links are added only
// while they fit, and nothing after the first piece that does not.
class MessageBuilder {
public:
    void Text(std::string_view raw) {
        const std::string cleaned = CleanText(raw, std::string::npos);
        const std::string_view s = cleaned;
        for (std::size_t i = 0; i < s.size();) {
            const std::size_t n = std::max<std::size_t>(CharLength(s, i), 1);
            const std::string_view e = EscapeChar(s[i]);
            if (!Add(e.empty() ? s.substr(i, n) : e)) return;
            i += n;
        }
    }

    void Link(std::string_view url) {
        const std::string e = Escape(CleanText(url, std::string::npos));
        Add(std::string(kLinkOpen) + e + std::string(kLinkMid) + e + std::string(kLinkClose));
    }

    std::string Take() { return std::move(out_); }

private:
    bool Add(std::string_view piece) {
        const std::size_t n = Utf8Length(piece);
        if (full_ || chars_ + n > kMaxMessageChars) {
            full_ = true;
            return false;
        }
        out_ += piece;
        chars_ += n;
        return true;
    }

    std::string out_;
    std::size_t chars_ = 0;
    bool full_ = false;
};

}  // namespace

const UpdateModel* FindUpdateModel(std::string_view tag) {
    for (const UpdateModel& m : kUpdateModels)
        if (m.tag == tag) return &m;
    return nullptr;
}

std::string UpdateServerUrl(std::string_view host, std::string_view path) {
    const bool schemed = host.starts_with("http://") || host.starts_with("https://");
    return (schemed ? std::string() : std::string("http://")) + std::string(host) + std::string(path);
}

bool IsUpdatePageUrl(std::string_view url, std::string_view host) {
    if (url == UpdateServerUrl(host, kViewerPage) || url == UpdateServerUrl(host, kGpsDataPage)) return true;
    for (const UpdateModel& m : kUpdateModels)
        if (url == UpdateServerUrl(host, m.page)) return true;
    return false;
}

namespace {

// The first line of a cleaned text that holds anything: blanks and line breaks before it
// are passed over, the next line break ends it; cut after kMaxFetchedChars characters.
std::string FirstLine(std::string_view text) {
    std::size_t from = 0;
    while (from < text.size() && (text[from] == ' ' || text[from] == '\t' || LineBreakLength(text, from) > 0))
        from += std::max<std::size_t>(LineBreakLength(text, from), 1);
    std::size_t to = from;
    while (to < text.size() && LineBreakLength(text, to) == 0) ++to;
    return CleanText(text.substr(from, to - from), kMaxFetchedChars);
}

}  // namespace

std::string FetchedText(std::string_view bytes) { return FirstLine(CleanText(bytes, std::string::npos)); }

std::optional<std::string> ParseVersionFile(std::string_view bytes) {
    constexpr std::string_view kTag = "VER:";
    // The tag is looked for in the text as the user would see it.
    const std::string text = CleanText(bytes, std::string::npos);
    const std::size_t at = text.find(kTag);
    if (at == std::string::npos) return std::nullopt;
    return FirstLine(std::string_view(text).substr(at + kTag.size()));
}

std::string TrimBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(kBlanks) - first + 1));
}

UpdateResult UpdateResultOf(const UpdateNews& news) {
    const bool f = news.firmware.has_value(), v = news.viewer.has_value(), g = news.gps.has_value();
    if (f && v && g) return UPDATE_ALL;
    if (f && v) return UPDATE_FIRMWARE_VIEWER;
    if (f && g) return UPDATE_FIRMWARE_GPS;
    if (v && g) return UPDATE_VIEWER_GPS;
    if (f) return UPDATE_FIRMWARE;
    if (v) return UPDATE_VIEWER;
    if (g) return UPDATE_GPS;
    return UPDATE_NONE;
}

std::string ComposeUpdateMessage(const UpdateNews& news) {
    const std::pair<int, const std::optional<UpdateSection>*> parts[] = {
        {kTextFirmware, &news.firmware}, {kTextViewer, &news.viewer}, {kTextGpsData, &news.gps}};
    MessageBuilder b;
    int sections = 0;
    for (const auto& [label, section] : parts) {
        if (!section->has_value()) continue;
        b.Text(sections++ == 0 ? std::string(UiText(kTextHeading)) + "\r\n\r\n" : "\r\n\r\n\r\n");
        const UpdateSection& s = **section;
        b.Text(UiText(label));
        b.Text(":\r\n");
        b.Text(UiText(kTextCurrent));
        b.Text(s.current);
        b.Text("   →   ");
        b.Text(UiText(kTextPublished));
        b.Text(s.published);
        b.Text("\r\n\r\nURL : ");
        b.Link(s.pageUrl);
    }
    if (sections > 1) b.Text("\r\n");
    return b.Take();
}

RichLinkText LinkMarkupToHtml(std::string_view raw) {
    const std::string cleaned = CleanText(raw, std::string::npos);
    const std::string_view markup = cleaned;
    RichLinkText r;
    std::string& h = r.html;
    h = "<div style=\"white-space:pre-wrap\">";
    for (std::size_t i = 0; i < markup.size();) {
        if (markup.substr(i, kLinkOpen.size()) == kLinkOpen) {
            const std::size_t urlAt = i + kLinkOpen.size();
            const std::size_t mid = markup.find(kLinkMid, urlAt);
            const std::size_t close = mid == std::string_view::npos ? mid : markup.find(kLinkClose, mid);
            if (close != std::string_view::npos) {
                const std::string_view url = markup.substr(urlAt, mid - urlAt);
                const std::string_view text = markup.substr(mid + kLinkMid.size(), close - mid - kLinkMid.size());
                if (url.find_first_of("<>\"") == std::string_view::npos && text.find('<') == std::string_view::npos) {
                    r.links.push_back(Unescape(url));
                    h += std::string(kLinkOpen) + Escape(r.links.back()) + std::string(kLinkMid) +
                         Escape(Unescape(text)) + std::string(kLinkClose);
                    i = close + kLinkClose.size();
                    continue;
                }
            }
        }
        const char c = markup[i];
        if (const std::string_view e = EntityAt(markup, i); !e.empty()) {
            h += e;
            i += e.size();
        } else if (c == '\r' || c == '\n') {
            h += "<br>";
            i += (c == '\r' && i + 1 < markup.size() && markup[i + 1] == '\n') ? 2 : 1;
        } else {
            const std::string_view esc = EscapeChar(c);
            if (esc.empty()) h += c;
            else h += esc;
            ++i;
        }
    }
    h += "</div>";
    return r;
}

}  // namespace orv
