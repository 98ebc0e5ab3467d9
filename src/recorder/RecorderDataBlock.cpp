#include "recorder/RecorderDataBlock.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "recorder/BigEndian.h"
#include "recorder/MovieScanner.h"
#include "recorder/RecorderRecords.h"

namespace orv {

namespace {

bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// One entry's values into `out`; `entry` holds at least the 26 value bytes.
void ParseHeaderEntry(std::span<const std::uint8_t> entry, RecorderHeader* out) {
    using L = HeaderEntryLayout;
    out->letter = char(entry[L::kLetter]);
    const bool hasValues = out->letter == 'M' || out->letter == 'D';
    float values[4];
    for (std::size_t i = 0; i < 4; ++i) {
        const auto field = entry.subspan(L::kValues + i * L::kValueWidth, L::kValueWidth);
        values[i] = hasValues ? float(FieldNumber(field).value_or(0.0) / 1000.0) : -1.0f;
    }
    std::copy(values, values + 3, out->threshold);
    out->fourthValue = values[3];
    std::memcpy(out->version, entry.data() + L::kVersion, L::kVersionSize);
    out->byteA = entry[L::kByteA];
    out->byteB = entry[L::kByteB];
    out->byteC = entry[L::kByteC];
}

bool HasChainMark(std::span<const std::uint8_t> entry) {
    using L = HeaderEntryLayout;
    const std::uint8_t letter = entry[L::kChainLetter];
    return std::memcmp(entry.data() + L::kChainMark, "@CS", 3) == 0 && letter >= 'A' &&
           letter <= 'Z';
}

}  // namespace

bool IsTimeLapseDataName(std::string_view fileName) {
    return (fileName.size() > 0 && fileName[0] == 'T') || (fileName.size() > 2 && fileName[2] == 'T');
}

HeaderChainEnd FindHeaderChainEnd(std::span<const std::uint8_t> block) {
    using L = HeaderEntryLayout;
    // Entry 0's chain mark lies in the first record; each further entry must lie wholly
    // inside the data, its own chain mark included.
    std::size_t offset = kBlockHeaderOffset;
    for (;;) {
        if (offset + L::kStride > block.size()) return {offset, true};
        if (!HasChainMark(block.subspan(offset, L::kStride))) return {offset, false};
        if (offset + 2 * L::kStride > block.size()) return {offset, true};
        offset += L::kStride;
    }
}

bool ParseHeaderEntries(std::span<const std::uint8_t> block, std::string_view fileName,
                        RecorderHeader* out) {
    if (block.size() < kBlockHeaderOffset + kBlockHeaderSize) return false;
    // Every entry sets every value, so the last entry of the chain is the one to read.
    RecorderHeader h;
    ParseHeaderEntry(block.subspan(FindHeaderChainEnd(block).last), &h);
    h.mode = IsTimeLapseDataName(fileName) ? 'T' : 'N';
    h.reserved = 0;
    *out = h;
    return true;
}

bool RecordsCut(RecordWalkEnd end) { return end != RecordWalkEnd::kComplete && end != RecordWalkEnd::kUnended; }

bool IsEndTag(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kEndTag.size() &&
           std::memcmp(bytes.data(), kEndTag.data(), kEndTag.size()) == 0;
}

BlockSource InMemoryBlock(std::span<const std::uint8_t> block) {
    return {block.size(), block.size(),
            [block](std::uint64_t offset, std::size_t length) { return block.subspan(offset, length); }};
}

std::optional<std::uint8_t> FillerByte(RawRecord record) {
    const std::uint8_t b = record[0];
    if (b != 0x00 && b != 0x20 && b != 0xFF) return std::nullopt;
    // A real record differs from its first byte within a few bytes.
    for (const std::uint8_t c : record)
        if (c != b) return std::nullopt;
    return b;
}

RecordWalk WalkBlockRecords(const BlockSource& block, const BlockHeadVisitor& onHead,
                            const RawRecordVisitor& onRecord, const RecordLimits& limits) {
    RecordWalk walk;
    if (block.size == 0 || !block.view) return walk;
    const std::size_t window = std::max(block.window, sRAWRECORD::kSize);
    std::span<const std::uint8_t> view;
    std::uint64_t viewStart = 0;
    // Makes the bytes [offset, offset + want), cut at the end of the block, lie in the
    // current window; a new window starts at `offset`.
    const auto reach = [&](std::uint64_t offset, std::size_t want) {
        const std::uint64_t end = offset + std::min<std::uint64_t>(want, block.size - offset);
        if (!view.empty() && offset >= viewStart && end <= viewStart + view.size()) return true;
        const std::size_t length = std::size_t(std::min<std::uint64_t>(window, block.size - offset));
        view = block.view(offset, length);
        viewStart = offset;
        return view.size() >= length;
    };

    if (!reach(0, window)) {
        walk.end = RecordWalkEnd::kReadError;
        return walk;
    }
    if (onHead && block.headWindow > view.size() && view.size() < block.size && FindHeaderChainEnd(view).cut) {
        // A header chain that runs past the first window (no recorder writes one) is read as
        // far as the longer head window reaches.
        const std::size_t length = std::size_t(std::min<std::uint64_t>(block.headWindow, block.size));
        view = block.view(0, length);
        if (view.size() < length) {
            walk.end = RecordWalkEnd::kReadError;
            return walk;
        }
    }
    if (onHead && !onHead(view)) return walk;
    if (block.size < kBlockRecordsOffset) {
        walk.endOffset = block.size;
        return walk;
    }
    const unsigned count = ReadBe16(view.data() + kBlockCountOffset);
    const bool counted = count != kUncountedRecords;
    const std::int32_t maxRecords = std::clamp(limits.maxRecords, 0, kMaxBlockRecords);
    // The run of filler records of an uncounted block not handed out yet: how many, and
    // where the first one starts. In a counted block filler records are records.
    std::int32_t held = 0;
    std::uint64_t heldFrom = 0;
    // Hands out the held run, read again window by window as it is stored.
    const auto release = [&] {
        for (; held > 0; --held, heldFrom += sRAWRECORD::kSize) {
            if (!reach(heldFrom, sRAWRECORD::kSize)) return false;
            onRecord(walk.records++,
                     view.subspan(std::size_t(heldFrom - viewStart), sRAWRECORD::kSize).first<sRAWRECORD::kSize>());
        }
        return true;
    };
    std::uint64_t offset = kBlockRecordsOffset;
    // Past the limit in a run of filler that starts at heldFrom (followFiller).
    bool beyond = false;
    const auto finish = [&](RecordWalkEnd end) {
        walk.end = end;
        walk.endOffset = held == 0 && !beyond ? offset : heldFrom;
        if (walk.endOffset >= viewStart && walk.endOffset - viewStart <= view.size())
            walk.rest = view.subspan(std::size_t(walk.endOffset - viewStart));
        return walk;
    };
    for (;;) {
        if (counted && unsigned(walk.records) == count) return finish(RecordWalkEnd::kComplete);
        if (!reach(offset, sRAWRECORD::kSize)) return finish(RecordWalkEnd::kReadError);
        const auto rest = view.subspan(std::size_t(offset - viewStart),
                                       std::size_t(std::min<std::uint64_t>(sRAWRECORD::kSize, block.size - offset)));
        const bool tag = IsEndTag(rest);
        const bool whole = rest.size() == sRAWRECORD::kSize;
        const bool filler = !counted && whole && !tag && FillerByte(rest.first<sRAWRECORD::kSize>());
        if (beyond) {
            // Nothing is handed out any more: only whether the filler runs to the end counts.
            if (!whole) return finish(RecordWalkEnd::kUnended);
            if (!filler) return finish(RecordWalkEnd::kLimit);
            offset += sRAWRECORD::kSize;
            continue;
        }
        if (held > 0 && (tag || (whole && !filler))) {
            // Something real follows the run: its records are records. The window may have
            // moved back meanwhile, so the bytes at `offset` are looked at again.
            if (!release()) return finish(RecordWalkEnd::kReadError);
            continue;
        }
        if (tag) return finish(counted ? RecordWalkEnd::kEndTagEarly : RecordWalkEnd::kComplete);
        // A record cut by the end of the data, or filler up to it, is no record.
        if (!whole) return finish(counted ? RecordWalkEnd::kTruncated : RecordWalkEnd::kUnended);
        if (walk.records + held == maxRecords) {
            if (!limits.followFiller || !filler) return finish(RecordWalkEnd::kLimit);
            beyond = true;
            if (held == 0) heldFrom = offset;
            offset += sRAWRECORD::kSize;
            continue;
        }
        if (filler) {
            if (held++ == 0) heldFrom = offset;
        } else {
            onRecord(walk.records++, rest.first<sRAWRECORD::kSize>());
        }
        offset += sRAWRECORD::kSize;
    }
}

RecordWalk WalkRawRecords(std::span<const std::uint8_t> block, const RawRecordVisitor& onRecord,
                          const RecordLimits& limits) {
    return WalkBlockRecords(InMemoryBlock(block), nullptr, onRecord, limits);
}

std::optional<std::int32_t> ParseRecorderNumber(std::span<const std::uint8_t> trailer) {
    if (trailer.size() < kTrailerSize) return std::nullopt;
    const auto field = trailer.first(kTrailerSize);
    const bool digitsAndBlanks =
        std::all_of(field.begin(), field.end(), [](std::uint8_t c) { return IsDigit(c) || c == ' '; });
    if (!digitsAndBlanks || FieldIsBlank(field)) return std::nullopt;
    return std::int32_t(FieldNumber(field).value_or(0.0));
}

namespace {

// A number of more than 15 digits, which one exact division cannot read.
[[gnu::noinline]] std::optional<double> LongNumber(const std::uint8_t* first, const std::uint8_t* last,
                                                   bool negative) {
    double value = 0.0;
    if (std::from_chars(reinterpret_cast<const char*>(first), reinterpret_cast<const char*>(last), value,
                        std::chars_format::fixed)
            .ec != std::errc())
        return std::nullopt;
    return negative ? -value : value;
}

}  // namespace

std::optional<double> FieldNumber(std::span<const std::uint8_t> field) {
    const std::uint8_t* p = field.data();
    const std::uint8_t* const end = p + field.size();
    while (p != end && *p == ' ') ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    // The number's text: digits, then optionally a point and more digits; a point without
    // digits behind it is not part of it. One pass gathers the digits as an integer.
    const std::uint8_t* const start = p;
    std::uint64_t digits = 0;
    for (; p != end && IsDigit(*p); ++p) digits = digits * 10 + (*p - '0');
    int digitCount = int(p - start);
    int fractionDigits = 0;
    if (p != end && *p == '.') {
        const std::uint8_t* q = p + 1;
        for (; q != end && IsDigit(*q); ++q) digits = digits * 10 + (*q - '0');
        fractionDigits = int(q - p - 1);
        if (fractionDigits > 0) p = q;
    }
    digitCount += fractionDigits;
    if (digitCount == 0) return std::nullopt;
    // Record fields are short: with at most 15 digits the digits form an exact integer and
    // the power of ten is exact, so one division gives the correctly rounded value, the same
    // that from_chars gives, at a fraction of its cost (every record has a dozen fields).
    if (digitCount > 15) return LongNumber(start, p, negative);
    static constexpr double kPowersOfTen[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    double value = double(digits);
    if (fractionDigits > 0) value /= kPowersOfTen[fractionDigits];
    return negative ? -value : value;
}

bool FieldHasDigit(std::span<const std::uint8_t> field) {
    return std::any_of(field.begin(), field.end(), IsDigit);
}

bool FieldIsBlank(std::span<const std::uint8_t> field) {
    return std::all_of(field.begin(), field.end(), [](std::uint8_t c) { return c == ' '; });
}

bool OnRecordBlock(sMOVIESCANNER& scanner, const BlockSource& block, std::vector<sGPSRECORD>& gps) {
    RecordDayCache days;
    const RecordWalk walk = WalkBlockRecords(block, nullptr, [&](std::int32_t k, RawRecord raw) {
        scanner.recordCounter = k;
        AppendGpsRecord(scanner, raw, gps, &days);
    });
    scanner.recordCounter = walk.records - 1;
    return walk.end == RecordWalkEnd::kComplete;
}

bool OnRecordBlock(sMOVIESCANNER& scanner, std::span<const std::uint8_t> block,
                   std::vector<sGPSRECORD>& gps) {
    return OnRecordBlock(scanner, InMemoryBlock(block), gps);
}

}  // namespace orv
