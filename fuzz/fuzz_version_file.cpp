// A file from the update server read as a version file and as plain text, put into the
// update message and turned into the dialog's rich text. Whatever the server sends, the
// texts stay bounded and valid, hold no control characters but tab and line ends, and the
// only links are the program's own pages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/update/VersionFile.h"
#include "platform/base/PathUtil.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Whether `text` holds a control character other than tab and the line ends (C0, DEL, C1).
bool HasControls(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) return true;
    }
    return false;
}

// What may reach the dialog: valid text without control characters.
void CheckShown(std::string_view text) { Check(orv::IsValidUtf8(text) && !HasControls(text)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view kHost = "update.test";

    const std::optional<std::string> version = ParseVersionFile(bytes);
    const std::string text = FetchedText(bytes);
    for (const std::string* s : {&text, version ? &*version : &text}) {
        CheckShown(*s);
        Check(Utf8Length(*s) <= kMaxFetchedChars);
    }

    UpdateNews news;
    news.firmware = UpdateSection{TrimBlanks(text), version ? TrimBlanks(*version) : "",
                                  UpdateServerUrl(kHost, kUpdateModels[0].page)};
    news.gps = UpdateSection{text, text, UpdateServerUrl(kHost, kGpsDataPage)};
    const std::string message = ComposeUpdateMessage(news);
    CheckShown(message);
    Check(Utf8Length(message) <= kMaxMessageChars);
    const RichLinkText rich = LinkMarkupToHtml(message);
    CheckShown(rich.html);
    for (const std::string& link : rich.links) Check(IsUpdatePageUrl(link, kHost));

    // The card's texts go into the message unread, and the dialog takes any markup.
    UpdateNews raw;
    raw.gps = UpdateSection{std::string(bytes), std::string(bytes), UpdateServerUrl(kHost, kGpsDataPage)};
    CheckShown(ComposeUpdateMessage(raw));
    CheckShown(LinkMarkupToHtml(bytes).html);
    return 0;
}
