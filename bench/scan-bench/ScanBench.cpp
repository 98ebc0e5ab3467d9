// scan-bench: times the folder scan that opens a card (the tree and the movie entries of
// every movie folder) on a generated card of recordings with rear companions and data
// files, against `find DIR -printf '%s %p\n'` over the same tree in the same run, and
// prints both and their ratio as one JSON line. Timing never makes it fail; it exits with
// 2 on wrong arguments and 1 when the card cannot be made.
//
// usage: scan-bench [--recordings N] [--repeat R]
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "fixtures/CardBuilder.h"
#include "fixtures/TempDir.h"
#include "platform/base/Drives.h"
#include "platform/base/JsonWriter.h"
#include "CardBench.h"
#include "platform/base/PathUtil.h"
#include "recorder/FolderScan.h"

namespace {

using Clock = std::chrono::steady_clock;
using orv::bench::MakeCard;
using orv::bench::Median;
using orv::bench::ParseCount;
using orv::bench::RunFind;
using orv::bench::WriteTimes;
using orv::fixtures::CardBuilder;
using orv::fixtures::RecordingSpec;

// Counts what the scan adds; the browser's tree control does no more work per item.
class CountingTree final : public orv::IFolderTree {
public:
    int GetItemCount() const override { return count_; }
    std::optional<orv::FolderTreeItem> InsertItem(orv::FolderTreeItem,
                                                  const std::string&) override {
        return orv::FolderTreeItem(++count_);
    }
    void SetItemData(orv::FolderTreeItem, std::uintptr_t) override {}

private:
    int count_ = 0;
};

struct ScanResult {
    double ms = 0;
    std::size_t entries = 0;
    int treeItems = 0;
};

ScanResult TimeScan(const std::string& root) {
    std::vector<orv::sFILEENTRY> entries;
    std::vector<orv::sFILEENTRY> folders;
    CountingTree tree;
    std::string scanned;
    const auto start = Clock::now();
    orv::ScanSourcePath(root, scanned, orv::ScanTarget{entries, folders, &tree, true},
                        orv::kFolderTreeRoot, 0);
    const auto end = Clock::now();
    return {std::chrono::duration<double, std::milli>(end - start).count(), entries.size(),
            tree.GetItemCount()};
}

}  // namespace

int main(int argc, char** argv) {
    int recordings = 1000;
    int repeat = 9;
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--recordings") == 0 && hasValue &&
            ParseCount(argv[i + 1], recordings)) {
            ++i;
        } else if (std::strcmp(argv[i], "--repeat") == 0 && hasValue &&
                   ParseCount(argv[i + 1], repeat)) {
            ++i;
        } else {
            std::cerr << "usage: scan-bench [--recordings N] [--repeat R]\n";
            return 2;
        }
    }

    orv::fixtures::TempDir tmp;
    CardBuilder card(orv::PathAppend(tmp.Path(), "card"));
    if (tmp.Path().empty() || !MakeCard(card, recordings)) {
        std::cerr << "scan-bench: cannot make the card\n";
        return 1;
    }
    // The generated folder stands for the card's drive, as a mounted card would.
    const std::string root = card.Root();
    orv::SetDriveRootProvider([root](const std::string&) { return root; });

    // One round of each first, so both find the tree in the page cache.
    ScanResult scan = TimeScan(root);
    double findMs = 0;
    const std::optional<std::size_t> files = RunFind(root, findMs);
    std::vector<double> scanTimes;
    std::vector<double> findTimes;
    for (int r = 0; r < repeat; ++r) {
        scan = TimeScan(root);
        scanTimes.push_back(scan.ms);
        if (files && RunFind(root, findMs)) findTimes.push_back(findMs);
    }
    orv::SetDriveRootProvider({});

    orv::JsonWriter j;
    j.BeginObject();
    j.Key("bench").String("scan");
    j.Key("recordings").Int(recordings);
    j.Key("findLines").Uint(files.value_or(0));
    j.Key("entries").Uint(scan.entries);
    j.Key("treeItems").Int(scan.treeItems);
    j.Key("repeat").Int(repeat);
    WriteTimes(j, "scanMs", scanTimes);
    if (findTimes.empty()) {
        j.Key("findMs").Null();
        j.Key("ratio").Null();
    } else {
        WriteTimes(j, "findMs", findTimes);
        j.Key("ratio").Double(Median(scanTimes) / Median(findTimes), 3);
    }
    j.EndObject();
    std::cout << j.str() << '\n';
    return 0;
}
