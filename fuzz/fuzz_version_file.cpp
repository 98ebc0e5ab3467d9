// A file from the update server read as a version file and as plain text, put into the
// update message and turned into the dialog's rich text. Whatever the server sends, the
// texts stay bounded and valid, and the only links are the program's own pages.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/VersionFile.h"
#include "platform/base/PathUtil.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    constexpr std::string_view kHost = "update.test";

    const std::optional<std::string> version = ParseVersionFile(bytes);
    const std::string text = FetchedText(bytes);
    for (const std::string* s : {&text, version ? &*version : &text})
        Check(IsValidUtf8(*s) && Utf8Length(*s) <= kMaxFetchedChars);

    UpdateNews news;
    news.firmware = UpdateSection{TrimBlanks(text), version ? TrimBlanks(*version) : "",
                                  UpdateServerUrl(kHost, kUpdateModels[0].page)};
    news.gps = UpdateSection{text, text, UpdateServerUrl(kHost, kGpsDataPage)};
    const std::string message = ComposeUpdateMessage(news);
    Check(Utf8Length(message) <= kMaxMessageChars);
    for (const std::string& link : LinkMarkupToHtml(message).links) Check(IsUpdatePageUrl(link, kHost));

    LinkMarkupToHtml(bytes);
    return 0;
}
