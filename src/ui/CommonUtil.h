// Small services the whole program shares: the start folder and the settings file in it,
// removable drives, the trash, the folder picker, keeping windows on the monitors,
// window-rectangle arithmetic, bitmaps at the scaled size, free disk space and a few
// text helpers.
#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/WinTypes.h"

class QTranslator;
class QWidget;

namespace orv {

// The current directory when the main window initialised: the folder of the settings
// file and the folder picker's default. Empty until CaptureStartDir ran; written once
// on the UI thread before any reader starts.
extern std::string g_szStartDir;

// Sets g_szStartDir to the process's current directory (left empty when it cannot be had).
void CaptureStartDir();

std::string GetStartDir();

constexpr const char* kSettingsFileName = "Default_Folder.ini";

// g_szStartDir + "/Default_Folder.ini"; "" while there is no start folder.
std::string SettingsFilePath();

// Stores one key of the settings file (atomically) and then gives the file the hidden
// attribute where the file system has one. FALSE when there is no start folder or the
// write failed (the file then keeps its previous content and attributes).
BOOL WriteIniString(std::string_view section, std::string_view key, std::string_view value);

// One key of the settings file, whole; "" when the file or the key is missing.
std::string ReadIniString(std::string_view section, std::string_view key);

// Appends the mount point of every removable drive to `drives`. Returns the index of the
// last one added (drives.size() - 1), or -1 when none is mounted.
int ListRemovableDrives(std::vector<std::string>& drives);

// Moves the file to the trash, silently. FALSE for an empty path or when the file could
// not be moved (it then stays where it was).
BOOL DeleteToRecycleBin(const std::string& path);

// The dialog that lets the user choose a folder: (owner, title, start folder) -> the
// chosen folder, or "" when cancelled. Tests install one that opens no window.
using FolderPicker =
    std::function<std::string(QWidget* owner, std::string_view title, const std::string& start)>;

// Installs `picker` (an empty function restores the system's folder dialog).
void SetFolderPicker(FolderPicker picker);

// Qt's own texts (the folder and file pickers and their buttons) in Japanese, the language
// of the program's whole interface, whatever the system's locale says: Qt's catalogue for
// Japanese ("qtbase_ja") from Qt's translations folder, installed on the application; the
// program calls it once at start-up.
// Returns the installed translator (owned by the application), or null when the catalogue
// is not installed, which leaves those texts in English.
QTranslator* InstallQtTranslation();

// Lets the user choose a folder, starting in the one stored under section/key of the
// settings file (or the start folder when none is stored). The chosen path, or "" when
// cancelled. It does not store the choice: each caller keeps it under its own key.
std::string BrowseForFolder(QWidget* owner, std::string_view section, std::string_view key,
                            std::string_view title);

// One monitor in screen coordinates: its full rectangle and its work area (without the
// panels and docks of the desktop).
struct MonitorRects {
    RECT monitor;
    RECT work;
};

using MonitorListProvider = std::function<std::vector<MonitorRects>()>;

// Installs a fixed monitor layout for tests (an empty function restores the screens).
void SetMonitorListProvider(MonitorListProvider provider);

// The monitors now attached, from the provider or the application's screens.
std::vector<MonitorRects> ListMonitors();

// Work area and full rectangle of the monitor that holds `pt`, or of the one nearest to
// it; each is filled when its pointer is not null. False (both emptied) with no monitor.
bool GetMonitorRects(RECT* work, RECT* monitor, POINT pt);

// The index in `areas` of the first rectangle that holds `pt` (right and bottom edges
// excluded), or else of the one nearest to it; -1 when `areas` is empty.
int NearestRect(const std::vector<RECT>& areas, POINT pt);

// Moves a top-level window back onto the monitors when it has left them: a window off
// every monitor is brought to the edge of the work area nearest its top-left corner; one
// whose top-left corner is off while its bottom-right corner is on a monitor gets its top
// aligned with that monitor's work area. A window larger than its work area is placed
// with its top-left corner on the work area. At most kMaxMonitorMoves moves.
constexpr int kMaxMonitorMoves = 4;
void KeepWindowOnMonitors(QWidget* window);

// The outer rectangle of a widget (its frame, for a top-level window) in screen coordinates.
RECT WindowRectOf(const QWidget* widget);

// out = the child's outer rectangle moved by (-parent left, -(parent top + 1)): the child's
// place relative to the parent's outer corner, one pixel higher. Returns out.
RECT* GetWindowRectIn(RECT* out, const QWidget* parent, const QWidget* child);

// A picture (a Qt resource path such as ":/res/x.bmp", or a file) at its scaled size:
// trunc(size x g_fScale); a strip of square frames (width a whole multiple of the height)
// gets the frame count times the scaled frame size, so every frame has the same whole
// width. Null when the picture cannot be loaded or has no height.
QImage LoadScaledBitmap(const QString& resource);

// Free bytes that the user may write on the file system of `root`; 0 when unknown.
std::uint64_t GetFreeDiskSpace(const std::string& root);

// TRUE when the file name's extension is ".MOV" in any case.
BOOL IsMovFile(std::string_view path);

// The text before its third '.', or the whole text with fewer dots ("1.2.3.4" -> "1.2.3").
std::string TrimVersion(std::string_view text);

// A '/' after every character of odd index except index 5 ("220425" -> "22/04/25").
std::string FormatDateSlashes(std::string_view text);

}  // namespace orv
