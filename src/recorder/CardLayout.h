// The recorder card's folder arrangements and the path functions built on them.
//
// Movies and their data files lie in separate folders at the root of the card's drive
// (its mount point), in one of two arrangements. A front movie's rear companion differs
// in its camera letter, and where the card keeps the cameras apart, in a sibling folder
// "Main" / "Sub_". A deleted recording is not removed but hidden under other extensions.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace orv {

struct FolderLayoutRow {
    char letter;  // M movie, D data; also the camera letter of the row's file names
    std::string_view folder;
    std::string_view extension;
    std::string_view hiddenExtension;
};

constexpr int kFolderLayoutCount = 2;
constexpr int kFolderLayoutRows = 4;

// Rows of one layout: driving movies and their data, then parking movies and their data.
enum FolderLayoutRowIndex : int {
    LAYOUT_ROW_MOVIE = 0,
    LAYOUT_ROW_DATA = 1,
    LAYOUT_ROW_PARKING_MOVIE = 2,
    LAYOUT_ROW_PARKING_DATA = 3,
};

inline constexpr FolderLayoutRow FolderLayoutTable[kFolderLayoutCount][kFolderLayoutRows] = {
    {
        {'M', "Normal", "MOV", "DMY"},
        {'D', "_NData", "ADA", "TDA"},
        {'M', "Parking", "MOV", "DMY"},
        {'D', "_PData", "ADA", "TDA"},
    },
    {
        {'M', "Video", "MOV", "DMY"},
        {'D', "_VData", "ADA", "TDA"},
        {'M', "Parking", "MOV", "DMY"},
        {'D', "_PData", "ADA", "TDA"},
    },
};

// The layout of the source the file browser holds (0 or 1). Written only by
// DetectFolderLayout.
extern std::atomic<int> g_nFolderLayout;

// Looks at the root of the path's drive: true when it holds a movie folder of a layout
// (`*layout` = that layout) or only a "Parking" folder (`*layout` = 0); false with 0 when
// it holds none. Changes nothing; safe on any thread. `layout` may be null.
bool ProbeFolderLayout(const std::string& path, int* layout);

// ProbeFolderLayout, and the result stored in g_nFolderLayout.
bool DetectFolderLayout(const std::string& path);

// The movie's data file: camera letter D and extension .ADA, in the data folder that
// belongs to the movie folder when the movie lies in one on a card. The card is the
// movie's mount point when that holds a layout (ProbeFolderLayout); else a card copied
// into a folder: the nearest folder from the movie's up to just below the mount point
// that holds a movie folder of a layout beside its data folder. Only a whole folder name
// below the card's root is renamed, never the root's own or one above it. The card found
// for a movie folder is remembered for a few seconds, so that the movies of one scan
// probe the folders once.
std::string DataFileOfMovie(const std::string& moviePath);

// Forgets the cards DataFileOfMovie found, for a source that is opened anew.
void ForgetCardRoots();

// The other camera's movie: camera letter M <-> S, and "Main" <-> "Sub_" when the movie
// lies in one of those folders.
std::string CompanionFileName(const std::string& path);

// Hides the movie where it lies and then its data file (DataFileOfMovie) under the hidden
// extensions, touching no other file: a movie filed outside its kind's folder is hidden
// in place. False, with nothing changed, when the movie is not a regular ".MOV" file, a
// hidden name is taken, the data file is not a regular file, or a change fails (a failed
// data file puts the movie back). A missing data file: the movie is hidden, the result is
// false.
bool HideAsDeleted(const std::string& moviePath);

// "Video" or "Parking", case-sensitive.
bool IsLayoutMediaFolder(std::string_view name);

}  // namespace orv
