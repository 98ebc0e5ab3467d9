#include "recorder/FileEntrySort.h"

#include <algorithm>
#include <string_view>
#include <tuple>
#include <utility>

#include "platform/base/PathUtil.h"
#include "recorder/CardLayout.h"
#include "recorder/RecordingName.h"

namespace orv {

namespace {

constexpr std::size_t kSerialIndex = 19;
constexpr std::size_t kSerialDigits = 6;

bool IsDirectory(const sFILEENTRY& e) { return (e.attributes & sFILEENTRY::kAttrDirectory) != 0; }

// The name to order by and a rank among equal names. Giving both media folders the one
// name of "Parking" keeps the order transitive: any name that sorts between "Parking" and
// "Video" stays on the same side of both.
std::tuple<std::string_view, int> NameKey(const sFILEENTRY& e, bool recursiveFill) {
    const std::string_view name = PathFindFileName(e.path);
    if (!recursiveFill || !IsLayoutMediaFolder(name)) return {name, 0};
    const std::string_view parking = FolderLayoutTable[1][LAYOUT_ROW_PARKING_MOVIE].folder;
    return {parking, name == parking ? 1 : 0};
}

std::string_view SerialKey(const sFILEENTRY& e) {
    return Utf8Substr(PathFindFileName(e.path), kSerialIndex, kSerialDigits);
}

// Sorts the range by CompareEntrySerials, working out each entry's key once (a card's
// folder holds thousands of names).
void SortBySerial(std::vector<sFILEENTRY>::iterator first, std::vector<sFILEENTRY>::iterator last) {
    std::vector<std::pair<std::string_view, std::size_t>> keys;
    keys.reserve(std::size_t(last - first));
    for (auto it = first; it != last; ++it)
        keys.emplace_back(SerialKey(*it), std::size_t(it - first));
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<sFILEENTRY> sorted;
    sorted.reserve(keys.size());
    for (const auto& key : keys) sorted.push_back(std::move(first[std::ptrdiff_t(key.second)]));
    std::move(sorted.begin(), sorted.end(), first);
}

}  // namespace

bool CompareEntryNames(const sFILEENTRY& a, const sFILEENTRY& b, bool recursiveFill) {
    return NameKey(a, recursiveFill) < NameKey(b, recursiveFill);
}

bool CompareEntrySerials(const sFILEENTRY& a, const sFILEENTRY& b) {
    return SerialKey(a) < SerialKey(b);
}

// The sorts are stable, so entries that an order cannot tell apart stay as they were listed.
void SortEntriesRecorderFirst(std::vector<sFILEENTRY>& entries) {
    const auto others =
        std::stable_partition(entries.begin(), entries.end(),
                              [](const sFILEENTRY& e) { return IsRecorderMovieName(e.path); });
    SortBySerial(entries.begin(), others);
    SortBySerial(others, entries.end());
}

void SortEntriesFoldersFirst(std::vector<sFILEENTRY>& entries) {
    if (std::all_of(entries.begin(), entries.end(), IsDirectory)) return;
    const auto files = std::stable_partition(entries.begin(), entries.end(), IsDirectory);
    const auto byName = [](const sFILEENTRY& a, const sFILEENTRY& b) {
        return CompareEntryNames(a, b);
    };
    std::stable_sort(entries.begin(), files, byName);
    std::stable_sort(files, entries.end(), byName);
}

}  // namespace orv
