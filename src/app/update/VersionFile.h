// The texts of the update check: where the published versions lie on the update server,
// how a fetched version file is read, and the message that tells the user what is new.
// No Qt, no network: the checker fetches, these functions read and write text.
//
// The message is link markup: plain text in which <a href="URL">TEXT</a> is a link and
// &amp; &lt; &gt; &quot; stand for their characters. Everything that comes from outside
// (the server's files, the card) is escaped on the way in, so only the links built here
// are ever links.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// This viewer's own version, as the server publishes it.
constexpr std::string_view kViewerVersion = "3.0.0";

// A fetched text is cut after this many characters, a message after kMaxMessageChars.
constexpr std::size_t kMaxFetchedChars = 259;
constexpr std::size_t kMaxMessageChars = 1299;

// One recorder model: the name of its download shortcut on the card, its version file on
// the update server and the page the message links to.
struct UpdateModel {
    std::string_view tag;
    std::string_view versionFile;
    std::string_view page;
};
extern const std::array<UpdateModel, 6> kUpdateModels;

// The row whose tag equals `tag` exactly (case counts), or null.
const UpdateModel* FindUpdateModel(std::string_view tag);

constexpr std::string_view kViewerVersionFile = "/0_recorder/viewer/Orvanta5/Orvanta5_version.txt";
constexpr std::string_view kViewerPage = "/0_recorder/viewer/Orvanta5/viewer.html";
constexpr std::string_view kGpsDataFile = "/gps_data/drgps_01.txt";
constexpr std::string_view kGpsDataPage = "/taiou/gps_data/dr_01/dr01.html";

// The address of a file or page on the update server: "http://" + host + path, or host +
// path when the host names its scheme ("https://host:port"), for a server that speaks TLS.
std::string UpdateServerUrl(std::string_view host, std::string_view path);

// Whether `url` is one of the pages the message links to, on `host`.
bool IsUpdatePageUrl(std::string_view url, std::string_view host);

// A fetched file as one line of text: bytes that are not UTF-8 become U+FFFD, control
// characters (NUL, escape, DEL, C1 ...) but tab and the line ends are dropped, and so are
// the format characters (Unicode Cf: the bidirectional overrides and isolates, zero-width
// characters ...); then the first line that holds anything is taken (CR, LF, U+2028 or
// U+2029 end it), cut after kMaxFetchedChars characters. The message and its rich text drop
// the same characters.
std::string FetchedText(std::string_view bytes);

// A version file: the text after its first "VER:" as one line, cleaned and cut as above
// (the tag is looked for in the cleaned text), or nothing when it holds no "VER:".
std::optional<std::string> ParseVersionFile(std::string_view bytes);

// The text without the blanks and line ends around it.
std::string TrimBlanks(std::string_view text);

// What is new, as a code: 0 nothing, 1 firmware, 2 viewer, 3 GPS data, 4 firmware and
// viewer, 5 firmware and GPS data, 6 viewer and GPS data, 7 all three.
enum UpdateResult : int {
    UPDATE_NONE = 0,
    UPDATE_FIRMWARE = 1,
    UPDATE_VIEWER = 2,
    UPDATE_GPS = 3,
    UPDATE_FIRMWARE_VIEWER = 4,
    UPDATE_FIRMWARE_GPS = 5,
    UPDATE_VIEWER_GPS = 6,
    UPDATE_ALL = 7,
};

// One part of the message: the version at hand, the published one and the page to get it.
struct UpdateSection {
    std::string current;
    std::string published;
    std::string pageUrl;
};

struct UpdateNews {
    std::optional<UpdateSection> firmware;
    std::optional<UpdateSection> viewer;
    std::optional<UpdateSection> gps;
};

UpdateResult UpdateResultOf(const UpdateNews& news);

// The message for the user: the heading, then one section per piece of news (firmware,
// viewer, GPS data) with both versions and the page's link. "" when there is no news.
// Cut at kMaxMessageChars characters, never inside a link or an escaped character.
std::string ComposeUpdateMessage(const UpdateNews& news);

// Link markup as rich text for a label (line ends as breaks, blanks kept), with the
// addresses of its links in order.
struct RichLinkText {
    std::string html;
    std::vector<std::string> links;
};
RichLinkText LinkMarkupToHtml(std::string_view markup);

}  // namespace orv
