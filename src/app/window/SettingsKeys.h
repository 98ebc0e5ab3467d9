// The keys of the settings file "Default_Folder.ini" in the start folder, their defaults
// and the rules by which their values are read. Every access goes through
// WriteIniString/ReadIniString of the common utilities.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/base/WinTypes.h"

namespace orv {

// A key the program reads or writes, with what EnsureSettingsFile puts into a new file.
struct SettingsKeyInfo {
    std::string_view section;
    std::string_view key;
    std::string_view newFileValue;  // written into a new file; empty: not written
    std::string_view format;
};

namespace settings {
inline constexpr std::string_view kDisplay = "DISPLAY";
inline constexpr std::string_view kDecode = "DECODE";
inline constexpr std::string_view kSource = "SOURCE";
inline constexpr std::string_view kFolderPath = "FOLDERPATH";
inline constexpr std::string_view kInfoCheck = "INFOCHECK";
inline constexpr std::string_view kAspect = "ASPECT";
inline constexpr std::string_view kVolume = "VOLUME";
inline constexpr std::string_view kThumbnail = "THUMBNAIL";
inline constexpr std::string_view kScaleX = "SCALEX";
inline constexpr std::string_view kScaleY = "SCALEY";
inline constexpr std::string_view kInner = "INNER";
inline constexpr std::string_view kHw = "HW";
}  // namespace settings

constexpr int kMaxVolume = 65535;

// When the settings file does not exist: DISPLAY/INFOCHECK "31", ASPECT "on" and VOLUME
// "65535", in that order. FALSE when a write failed (or there is no start folder);
// TRUE when the file existed or every write succeeded.
BOOL EnsureSettingsFile();

// What an earlier run began in the folders the program writes in (the start folder and the
// remembered output folders of FOLDERPATH) and did not live to finish: a joined movie half
// put in place is finished, or its older set put back (FinishInterruptedWrites).
void FinishEarlierRunsWrites();

// The usual leading-digits reading: blanks skipped, an optional sign, digits up to the
// first non-digit; no digits give 0. Saturates instead of overflowing.
long long ParseLeadingInteger(std::string_view text);

// Exactly "on" (case-sensitive) is on; any other text, or none, is off.
bool IsOnValue(std::string_view value);

// DISPLAY/ASPECT == "on".
bool ReadKeepAspect();
BOOL WriteKeepAspect(bool on);

// DISPLAY/VOLUME: empty gives 65535; otherwise the leading digits clamped to 0..65535.
int VolumeFromText(std::string_view text);
int ReadVolume();
BOOL WriteVolume(int volume);

// DISPLAY/THUMBNAIL as a decimal number, non-zero is on.
bool ReadThumbnail();
BOOL WriteThumbnail(bool on);

// DECODE/HW == "on".
bool ReadHardwareDecode();

// DISPLAY/SCALEX and SCALEY with "%f" in the C locale. FALSE when a write failed.
BOOL WriteWindowScale(float x, float y);
// One of them: none unless it is a finite number above 0; then clamped to [1, maxScale].
std::optional<float> ReadWindowScale(std::string_view key, float maxScale);

}  // namespace orv
