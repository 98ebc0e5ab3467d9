// The table of every text the user sees, looked up by number.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace orv {

constexpr int kUiTextCount = 260;      // ids per language row
constexpr int kUiTextDefined = 174;    // ids 0..173 hold texts, the rest are empty
constexpr int kUiLanguageRows = 2;

// UTF-8 texts, row-major: entry = g_pszUiText[g_nLanguage * kUiTextCount + id];
// null where an id has no text. Both rows hold the same Japanese texts.
extern const std::array<const char*, kUiLanguageRows * kUiTextCount> g_pszUiText;

// The language row in use: 0, or 1 when the user's language is US English.
extern int g_nLanguage;

// Picks the language row from a Windows-style language id (0x409 is US English).
void ChooseLanguageRow(unsigned short langId);

// The language id of the user's session locale (LC_ALL, LC_MESSAGES, LANG), as a
// Windows-style id: 0x409 for en_US, 0x411 for Japanese, 0 when unknown.
unsigned short UserDefaultLangId();

// The text of `id` in the current row; "" for an empty entry or an id outside 0..259.
const char* UiText(int id);

// `prefix` + "+" + the text of `id` (only "+" when the entry is empty).
std::string LangString(std::string_view prefix, int id);

}  // namespace orv
