// The box tree of a movie file.
//
// A movie (ISO base media or QuickTime) is a sequence of boxes: a 32-bit big-endian size
// that counts the header, a four-character type, then the payload. Size 1 means that a
// 64-bit size follows the type (a 16-byte header); size 0, allowed at the top level only,
// means that the box runs to the end of the file.
//
// The reader makes a node for every box of a known type (a table of 168 types). A box is a
// container when its payload begins with a box of a known type; every other box is a leaf,
// whose payload is copied into memory when the payloads are loaded, except the media data
// ("mdat"), which is never read. Reading the boxes of a parent stops, successfully, at the
// first box of an unknown type: the parent then counts as a leaf. Every size is checked
// against its parent and the file before use; a file that breaks the rules is not read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/AppMessage.h"
#include "platform/base/FileView.h"
#include "recorder/RecorderDataBlock.h"

namespace orv {

// ---- Known box types: a character tree of four levels ----

constexpr int kBoxTypeLength = 4;
constexpr int kBoxTypeFanOut = 64;  // children one node can take
constexpr int kBoxTypeCount = 168;

struct sBOXTYPENODE {
    std::uint8_t character = 0;
    std::int32_t childCount = 0;
    std::unique_ptr<sBOXTYPENODE[]> children;  // kBoxTypeFanOut nodes, made on first use
};

// The 168 types in table order ("jP  ", "res ", "url " and "xml " end in blanks).
extern const char kBoxTypes[kBoxTypeCount][kBoxTypeLength + 1];

// Adds the characters type[0 .. 4 - depth) below `node`; false when a node of the path has
// no room for another child.
bool AddBoxTypeToTrie(sBOXTYPENODE* node, const char* type, int depth);
// Frees everything below `node`.
void FreeBoxTypeTrie(sBOXTYPENODE* node);
// Whether the characters type[0 .. 4 - depth) are a path below `node`.
bool BoxTypeKnown(const sBOXTYPENODE* node, const char* type, int depth);

// The process-wide tree of known types. LoadKnownBoxTypes fills it from kBoxTypes (at
// start-up; OpenMovieBoxes also calls it, so a program that reads boxes needs no set-up);
// FreeKnownBoxTypes empties it at shutdown, when no box reader runs any more.
void LoadKnownBoxTypes();
void FreeKnownBoxTypes();
// Whether the four characters are in the process-wide tree (none is before it is loaded).
bool IsKnownBoxType(const char type[kBoxTypeLength]);

// ---- Nodes ----

constexpr int kMaxBoxDepth = 32;               // deeper nesting fails the read
constexpr std::size_t kMaxBoxNodes = 1000000;  // more boxes than a real movie has; bounds memory

struct sMOVIEMAPPING;

struct sMP4BOX {
    sMP4BOX() = default;
    sMP4BOX(const sMP4BOX&) = delete;
    sMP4BOX& operator=(const sMP4BOX&) = delete;
    sMP4BOX(sMP4BOX&&) = default;
    sMP4BOX& operator=(sMP4BOX&&) = default;

    // The copy of the payload, when it is held (payloadSize bytes).
    std::optional<std::vector<std::uint8_t>> payload;
    std::vector<sMP4BOX> children;
    // 1: the node is a leaf. Its payload is held, or it stays in the file: the media data,
    // payloads of a tree read without loading, and a box whose reading stopped at a box of
    // an unknown type (the children read before that box are kept and lie inside the
    // payload). Every other node is a container whose children fill its payload exactly.
    int loaded = 0;
    char type[kBoxTypeLength + 1] = {};       // empty for the root
    int depth = 0;                            // 0 the root, 1 a top-level box
    const std::string* sourcePath = nullptr;  // the movie's path
    // The movie's file as it was opened: a writer reads the payload through it, so that the
    // bytes copied are those of the file whose boxes were read, whatever its path names now.
    const sMOVIEMAPPING* source = nullptr;
    std::uint64_t payloadSize = 0;
    std::uint64_t payloadOffset = 0;  // in the file
    // The range of the payload in the source file, as read; a writer copies it from there
    // (payloadSize may change when movies are joined).
    std::uint64_t sourceSize = 0;
    std::uint64_t sourceOffset = 0;
    // Joined movies: the same box of the first following movie, and of the movie after.
    sMP4BOX* joinHead = nullptr;
    sMP4BOX* joinNext = nullptr;
    std::uint32_t udatRecordCount = 0;  // record count written into a "udat" block
    HWND progressWindow = 0;            // freeing posts WM_APP_PROGRESS here unless 0
    bool counted = false;               // counted among the nodes alive

    bool IsType(const char t[kBoxTypeLength]) const;
};

// Size of the box as written: header plus payload for a leaf, header plus the children's
// sizes for a container (8 for a container without children). The header is 8 bytes, or
// 16 when the box does not fit a 32-bit size.
std::uint64_t ComputeBoxSize(const sMP4BOX& node);

// Appends every node of `type` at or below `node`, depth first (pre-order).
void CollectBoxesByType(std::vector<sMP4BOX*>& list, sMP4BOX& node, const char* type);

// Frees the node's children and payload. Every node freed counts as gone; a node with a
// progress window posts WM_APP_PROGRESS (wParam work done, lParam total, total being the
// node total of the last tree read x 1.1) and waits 1 ms, so that a progress bar moves
// while the trees of a join are freed.
void FreeBoxTree(sMP4BOX& node);

// Nodes alive in the process, and the count when the last tree had been read.
std::int64_t BoxNodesAlive();
std::int64_t BoxNodeTotal();
// Restarts both counts (before the trees of a new join are read).
void ClearBoxNodeCounters();

// ---- Movies ----

// The open movie file, read in windows.
struct sMOVIEMAPPING {
    FileView file;
    std::string path;
    std::uint64_t size = 0;
};

// Largest window read at once for box headers and small payloads.
constexpr std::size_t kBoxWindowSize = 65535;

// The address of at least `length` bytes of the file at `offset`, cut at the end of the
// file; `*available` receives how many bytes may be read there (it may exceed `length`).
// The bytes stay valid until the next call. Null when the offset is at or past the end,
// or the read fails (the file's LastError then tells why).
const std::uint8_t* MapMovieWindow(sMOVIEMAPPING& mapping, std::uint64_t offset, std::size_t length,
                                   std::size_t* available);

// The ten box lists, in this order.
enum MovieBoxList : int {
    LIST_MDAT,
    LIST_STSZ,
    LIST_STCO,
    LIST_MDHD,
    LIST_STSS,
    LIST_STTS,
    LIST_MVHD,
    LIST_TKHD,
    LIST_ELST,
    LIST_STSD,
    MOVIE_LIST_COUNT
};
extern const char kMovieListTypes[MOVIE_LIST_COUNT][kBoxTypeLength + 1];

// One 124-byte recorder record, as stored.
using RawRecordBytes = std::array<std::uint8_t, sRAWRECORD::kSize>;

struct sMP4MOVIE {
    sMP4MOVIE() = default;
    sMP4MOVIE(const sMP4MOVIE&) = delete;
    sMP4MOVIE& operator=(const sMP4MOVIE&) = delete;
    // Frees the box tree (posting progress as FreeBoxTree does) and closes the file.
    virtual ~sMP4MOVIE();

    sMOVIEMAPPING mapping;
    HWND progressWindow = 0;
    sMP4BOX root;  // empty type; its payload is the whole file
    std::uint64_t fileSize = 0;
    // The recorder data of the movie (ReadRecorderMovie).
    std::vector<RawRecordBytes> records;
    std::array<std::uint8_t, kBlockHeaderSize> header{};
    std::uint32_t recordCount = 0;
    bool recordsCut = false;  // fewer records than the block holds or promises (RecordsCut)
    // Every box of each list's type, in file order (pre-order walk).
    std::array<std::vector<sMP4BOX*>, MOVIE_LIST_COUNT> lists;
};

// Reads the box tree of the movie at `path`: with `loadPayloads` the payloads of the leaf
// boxes are copied into memory; with `progress` the nodes carry `progressWindow`. Null,
// with `*error` set when given, when the file cannot be read or breaks the box rules.
std::unique_ptr<sMP4MOVIE> OpenMovieBoxes(const std::string& path, bool loadPayloads, bool progress,
                                          HWND progressWindow, std::string* error = nullptr);

// Closes the movie's file and frees its tree and the movie.
void FreeMovieBoxes(std::unique_ptr<sMP4MOVIE> movie);

}  // namespace orv
