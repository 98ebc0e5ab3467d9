#include "app/window/SettingsKeys.h"

#include <array>
#include <limits>

#include "app/commands/FrameMath.h"
#include "platform/base/PathUtil.h"
#include "platform/base/ReplacementFile.h"
#include "ui/CommonUtil.h"

namespace orv {

namespace {

using namespace settings;

constexpr std::array kKeys = {
    SettingsKeyInfo{kDisplay, kInfoCheck, "31", "\"31\""},
    SettingsKeyInfo{kDisplay, kAspect, "on", "\"on\" or \"off\""},
    SettingsKeyInfo{kDisplay, kVolume, "65535", "decimal 0..65535"},
    SettingsKeyInfo{kDisplay, kThumbnail, "", "\"1\" or \"0\""},
    SettingsKeyInfo{kDisplay, kScaleX, "", "%f"},
    SettingsKeyInfo{kDisplay, kScaleY, "", "%f"},
    SettingsKeyInfo{kDecode, kInner, "", "any, not used"},
    SettingsKeyInfo{kDecode, kHw, "", "\"on\" to enable"},
    SettingsKeyInfo{kSource, "SELECT", "", "\"SD\", \"FOLDER\" or \"FILE\""},
    SettingsKeyInfo{kSource, "SD", "", "drive path"},
    SettingsKeyInfo{kSource, "FOLDER", "", "folder path"},
    SettingsKeyInfo{kSource, "FILE", "", "file path"},
    SettingsKeyInfo{kFolderPath, "CSV_FOLDER", "", "folder path"},
    SettingsKeyInfo{kFolderPath, "CONNECT_FOLDER", "", "folder path"},
    SettingsKeyInfo{kFolderPath, "SNAPSHOT_FOLDER", "", "folder path"},
};

}  // namespace

void FinishEarlierRunsWrites() {
    FinishInterruptedWrites(GetStartDir());
    for (const auto& key : kKeys) {
        if (key.section != kFolderPath) continue;
        const std::string folder = ReadIniString(key.section, key.key);
        if (!folder.empty()) FinishInterruptedWrites(folder);
    }
}

BOOL EnsureSettingsFile() {
    const std::string path = SettingsFilePath();
    if (path.empty()) return FALSE;
    if (PathFileExists(path)) return TRUE;
    for (const auto& key : kKeys) {
        if (key.newFileValue.empty()) continue;
        if (!WriteIniString(key.section, key.key, key.newFileValue)) return FALSE;
    }
    return TRUE;
}

long long ParseLeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr long long kLimit = std::numeric_limits<long long>::max() / 10 - 1;
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value > kLimit) break;  // far beyond any key's range; saturate
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

bool IsOnValue(std::string_view value) { return value == "on"; }

bool ReadKeepAspect() { return IsOnValue(ReadIniString(kDisplay, kAspect)); }

BOOL WriteKeepAspect(bool on) { return WriteIniString(kDisplay, kAspect, on ? "on" : "off"); }

int VolumeFromText(std::string_view text) {
    if (text.empty()) return kMaxVolume;
    const long long value = ParseLeadingInteger(text);
    return int(value < 0 ? 0 : value > kMaxVolume ? kMaxVolume : value);
}

int ReadVolume() { return VolumeFromText(ReadIniString(kDisplay, kVolume)); }

BOOL WriteVolume(int volume) {
    const int clamped = volume < 0 ? 0 : volume > kMaxVolume ? kMaxVolume : volume;
    return WriteIniString(kDisplay, kVolume, std::to_string(clamped));
}

bool ReadThumbnail() { return ParseLeadingInteger(ReadIniString(kDisplay, kThumbnail)) != 0; }

BOOL WriteThumbnail(bool on) { return WriteIniString(kDisplay, kThumbnail, on ? "1" : "0"); }

bool ReadHardwareDecode() { return IsOnValue(ReadIniString(kDecode, kHw)); }

BOOL WriteWindowScale(float x, float y) {
    const BOOL wroteX = WriteIniString(kDisplay, kScaleX, FormatStoredScale(x));
    const BOOL wroteY = WriteIniString(kDisplay, kScaleY, FormatStoredScale(y));
    return wroteX && wroteY;
}

std::optional<float> ReadWindowScale(std::string_view key, float maxScale) {
    return ParseStoredScale(ReadIniString(kDisplay, key), maxScale);
}

}  // namespace orv
