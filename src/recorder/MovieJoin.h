// Joining consecutive recordings into one movie file.
//
// The box tree of the first movie becomes the tree of the output: for every track, the
// sample tables of the following movies are appended entry by entry to the first movie's
// tables, the durations are added, and their media data boxes are linked behind the first
// one's, to be copied from their files when the output is written. The rear companions are
// joined the same way into a second tree, and the recorder records of the movies' data files
// into one data file beside the output.
//
// Only movies made alike can be joined: the same tracks in the same order, with the same
// handlers, time scales and sample descriptions, every table present in one present in the
// other, one media data box holding every chunk, 32-bit chunk offsets. Every count read from
// a movie is checked against the size of its box. A movie that breaks a rule is refused and
// the tree joined so far stays as it was.
//
// Every sample of a movie must lie inside its media data. The media data is copied from the
// files through the descriptors opened when their boxes were read, and an input that changed
// meanwhile fails the join. Each following movie's tracks start where its picture starts:
// its edits (an AAC track's skip of the encoder's priming samples among them) are carried
// into the joined edit lists, and the sound of each movie ends at the frame boundary nearest
// to the joint, so that the sound stays with the picture at every joint.
//
// The output's parts (movie, companion, data file) are written under temporary names beside
// them and replace the older ones only when all were written, all together; a failed or
// stopped join leaves an older output whole and no partial file. A link, folder, FIFO or
// device at an output name is refused, never followed. Outputs that would need a box or an
// offset past 4 GiB are refused.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "recorder/Mp4Box.h"

namespace orv {

// Bytes copied from a movie's media data at once.
constexpr std::size_t kJoinCopyPiece = std::size_t(32) << 20;

// Why a join's output goes without a data file.
enum class JoinDataLoss {
    kNone,        // every recording's records are joined
    kMissing,     // a recording has no data file
    kUnreadable,  // a recording's data file cannot be read or holds no recorder data
    kCut,         // a recording's records are fewer than its data file promises (RecordsCut)
};

struct sMOVIEJOIN {
    std::unique_ptr<sMP4MOVIE> firstFront;
    std::unique_ptr<sMP4MOVIE> firstRear;
    std::unique_ptr<sMP4MOVIE> firstData;  // raw records only (ReadRecorderMovie)
    std::vector<std::unique_ptr<sMP4MOVIE>> nextFront;
    std::vector<std::unique_ptr<sMP4MOVIE>> nextRear;
    std::vector<std::unique_ptr<sMP4MOVIE>> nextData;
    bool hasRear = true;
    bool hasData = true;
    // Set when hasData was cleared: why, and the movie whose data file it was.
    JoinDataLoss dataLoss = JoinDataLoss::kNone;
    std::string dataLossMovie;
    HWND progressWindow = 0;  // WM_APP_PROGRESS (bytes written, bytes to write) while writing
    // Cleared by another thread to stop the write at the next piece, and the read of a data
    // file at its next window (the join then goes without records); null: never stopped.
    const std::atomic<bool>* keepRunning = nullptr;
    std::string error;  // why the last step failed
};

// Opens the first movie (its boxes with their payloads), its rear companion and its data
// file. False when the front movie cannot be read or cannot be joined; a missing companion
// or data file only clears hasRear or hasData. A data file cut short of its records counts
// as none, since it would be written out as a whole one; clearing hasData tells why in
// dataLoss. A data file that ends without its end tag (the recording's power failed) is
// whole: its records are joined.
bool BeginJoin(sMOVIEJOIN& join, const std::string& firstPath);

// Joins the movie at `path`, its companion and its records behind those joined so far.
// False, the join left as it was, when the front movie cannot be read or does not match the
// first; a companion or data file that is missing or does not match clears its flag (the
// data file as in BeginJoin).
bool AppendMovieToJoin(sMOVIEJOIN& join, const std::string& path);

// Appends the tracks and the media data of `next` to `first`. Both trees stay valid: on
// failure `first` is unchanged and `error` (when given) tells why. `next` must live as long
// as `first` is written, since its media data is read from its file then.
bool JoinMovieBoxes(sMP4MOVIE& first, sMP4MOVIE& next, std::string* error = nullptr);

// Where a table's entries lie in a box payload.
struct TableLayout {
    std::size_t headerLength;  // bytes before the first entry
    std::size_t countOffset;   // 32-bit big-endian entry count
    std::size_t entrySize;
};

// The entries of a table payload; empty when the payload is too short for its header or its
// count claims more entries than it holds.
bool TableEntries(std::span<const std::uint8_t> payload, const TableLayout& layout,
                  std::span<const std::uint8_t>* entries);

// A new payload: the first's header and entries followed by the next's entries, with the
// summed count; `add` is added to the first 32-bit field of every entry taken from `next`.
// False when either table is broken or a count or field would overflow.
bool JoinBoxPayload(std::span<const std::uint8_t> first, std::span<const std::uint8_t> next,
                    const TableLayout& layout, std::uint32_t add, std::vector<std::uint8_t>* out);

// Sample sizes ("stsz": version/flags, constant size at 4, count at 8, entries from 12).
// Two tables of the same constant size only add their counts; any other pair becomes one
// table of every size. `maxSamples` bounds the entries a constant size may expand to.
bool JoinSampleSizes(std::span<const std::uint8_t> first, std::span<const std::uint8_t> next,
                     std::uint64_t maxSamples, std::vector<std::uint8_t>* out);

// Adds the next's duration field to the first's: payload offset `v0Offset` (32 bits) in a
// version 0 box, `v1Offset` (64 bits) in a version 1 box. False when either is too short,
// their versions differ or the sum does not fit.
bool AddTableValue(std::span<const std::uint8_t> first, std::span<const std::uint8_t> next,
                   std::size_t v0Offset, std::size_t v1Offset, std::vector<std::uint8_t>* out);

// Writes the node (its header when it is below the root) and everything below it to the
// file descriptor; the media data of joined movies is copied from their files in pieces of
// kJoinCopyPiece. Written from the root, the chunk offsets are moved to where the media data
// lands in the output. Progress and stopping as the join says. False at the first failure.
bool WriteBoxNode(const sMP4BOX& node, int fd, sMOVIEJOIN& join);

// The parts of the output at `outputPath`, each named once: the movie, its companion and
// its data file (a name without a camera letter has neither).
std::vector<std::string> JoinOutputParts(const std::string& outputPath);

// Whether writing the join to `outputPath` would write over one of its inputs: the output,
// its companion or its data file being the same file (device and inode) as a movie, a
// companion or a data file that was joined.
bool JoinOutputCollides(const sMOVIEJOIN& join, const std::string& outputPath);

// Writes the joined movie to `outputPath`, the joined companion to its companion name when
// every companion was joined, and the records to its data file when every data file was
// read, each to a temporary file first. Before anything is put in place, every input must
// still be the file that was read: the same file under its name, of the same size and
// modification time. Then the parts replace the older output together (CommitTogether),
// and an older companion or data file that this join does not write goes with it, so that
// the output is one set: a failure at any step leaves an older output whole and removes
// the temporary files, and a process killed on the way leaves a journal by which the next
// writer in the folder finishes the new set. False with `join.error`.
bool WriteJoinedMovie(sMOVIEJOIN& join, const std::string& outputPath);

// Frees every movie of the join (the box trees post their progress while they go) and
// empties it.
void FreeJoin(sMOVIEJOIN& join);

}  // namespace orv
