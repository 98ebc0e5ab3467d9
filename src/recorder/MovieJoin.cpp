#include "recorder/MovieJoin.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <new>
#include <tuple>
#include <utility>

#include "platform/base/FileView.h"
#include "platform/base/ReplacementFile.h"
#include "platform/base/ReplacementSet.h"
#include "recorder/BigEndian.h"
#include "recorder/CardLayout.h"
#include "recorder/RecorderMovieData.h"

namespace orv {

namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFFu;

// Sample tables: version/flags, a 32-bit entry count, then the entries.
constexpr TableLayout kTimeToSample{8, 4, 8};    // "stts": count, delta
constexpr TableLayout kCompositionOffset{8, 4, 8};  // "ctts": count, offset
constexpr TableLayout kSyncSamples{8, 4, 4};     // "stss": sample number from 1
constexpr TableLayout kSampleToChunk{8, 4, 12};  // "stsc": first chunk from 1, samples, description
constexpr TableLayout kChunkOffsets{8, 4, 4};    // "stco": 32-bit file offsets
// "sbgp": version/flags, grouping type, (version 1: a parameter), count, entries of
// sample count and group index.
constexpr TableLayout kSampleGroupV0{12, 8, 8};
constexpr TableLayout kSampleGroupV1{16, 12, 8};

// "stsz" fields.
constexpr std::size_t kStszConstantSize = 4;
constexpr std::size_t kStszCount = 8;
constexpr std::size_t kStszEntries = 12;
// Entries a constant sample size may be expanded to when it meets a different one: four
// hours of 1,000 samples a second; real movies that mix sizes are far below it.
constexpr std::uint64_t kMaxExpandedSamples = std::uint64_t(1) << 24;

// Duration fields: (version 0 offset, version 1 offset) in the payload.
constexpr std::size_t kMvhdDuration[2] = {16, 24};
constexpr std::size_t kTkhdDuration[2] = {20, 28};
constexpr std::size_t kMdhdDuration[2] = {16, 24};
constexpr std::size_t kTimeScale = 12;  // mvhd and mdhd, version 0; version 1: 20
constexpr std::size_t kHandlerType = 8;

void PutBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

void PutBe64(std::uint8_t* p, std::uint64_t v) {
    PutBe32(p, std::uint32_t(v >> 32));
    PutBe32(p + 4, std::uint32_t(v));
}

std::span<const std::uint8_t> PayloadOf(const sMP4BOX* box) {
    if (!box || !box->payload) return {};
    return *box->payload;
}

bool Fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

sMP4BOX* Child(sMP4BOX* node, const char* type) {
    if (!node) return nullptr;
    for (sMP4BOX& child : node->children)
        if (child.IsType(type)) return &child;
    return nullptr;
}

// A container whose children were all read (so a writer may write them instead of its
// bytes in the file).
sMP4BOX* Container(sMP4BOX* node, const char* type) {
    sMP4BOX* child = Child(node, type);
    return child && !child->loaded ? child : nullptr;
}

// The boxes of one track that a join changes or compares.
struct TrackBoxes {
    sMP4BOX* trak = nullptr;
    sMP4BOX* tkhd = nullptr;
    sMP4BOX* elst = nullptr;
    sMP4BOX* mdhd = nullptr;
    sMP4BOX* hdlr = nullptr;
    sMP4BOX* stsd = nullptr;
    sMP4BOX* stts = nullptr;
    sMP4BOX* ctts = nullptr;
    sMP4BOX* stss = nullptr;
    sMP4BOX* stsc = nullptr;
    sMP4BOX* stsz = nullptr;
    sMP4BOX* stco = nullptr;
    sMP4BOX* sbgp = nullptr;
    std::uint64_t samples = 0;
    std::uint64_t chunks = 0;
};

struct MovieParts {
    sMP4BOX* mvhd = nullptr;
    sMP4BOX* mdat = nullptr;
    sMP4BOX* udat = nullptr;
    std::vector<TrackBoxes> tracks;
};

// The sample-table boxes a join knows how to carry over; a table of any other type might
// describe the samples too and would be left describing only the first movie's.
bool CarriedSampleTable(const sMP4BOX& box) {
    static const char* const kCarried[] = {"stsd", "stts", "ctts", "stss", "stsc",
                                           "stsz", "stco", "sgpd", "sbgp", "cslg"};
    for (const char* type : kCarried)
        if (box.IsType(type)) return true;
    return false;
}

int VersionOf(std::span<const std::uint8_t> payload) { return payload.empty() ? -1 : payload[0]; }

std::uint32_t TimeScaleOf(std::span<const std::uint8_t> payload) {
    const std::size_t at = VersionOf(payload) == 1 ? kTimeScale + 8 : kTimeScale;
    return payload.size() >= at + 4 ? ReadBe32(payload.data() + at) : 0;
}

// The samples that a run-length table describes: the sum of the first field of its entries.
std::uint64_t SamplesInRuns(std::span<const std::uint8_t> entries, std::size_t entrySize) {
    std::uint64_t samples = 0;
    for (std::size_t i = 0; i + entrySize <= entries.size(); i += entrySize)
        samples += ReadBe32(entries.data() + i);
    return samples;
}

const TableLayout& SampleGroupLayout(std::span<const std::uint8_t> sbgp) {
    return VersionOf(sbgp) == 1 ? kSampleGroupV1 : kSampleGroupV0;
}

// Whether every sample lies inside the media data: each chunk's samples, laid end to end
// from the chunk's offset, end before the media data does. A sample that runs past it would
// be read from the next movie's media data or from behind the file, and a demuxer refuses
// the whole output. The tables are known to agree (every sample in a chunk, every chunk in
// the media data).
bool SamplesInMediaData(const TrackBoxes& t, const sMP4BOX& mdat) {
    std::span<const std::uint8_t> runs, offsets;
    TableEntries(PayloadOf(t.stsc), kSampleToChunk, &runs);
    TableEntries(PayloadOf(t.stco), kChunkOffsets, &offsets);
    const auto stsz = PayloadOf(t.stsz);
    const std::uint64_t constant = ReadBe32(stsz.data() + kStszConstantSize);
    const std::uint64_t mdatEnd = mdat.sourceOffset + mdat.payloadSize;
    std::uint64_t sample = 0;
    for (std::size_t i = 0; i < runs.size(); i += kSampleToChunk.entrySize) {
        const std::uint64_t firstChunk = ReadBe32(runs.data() + i);
        const std::uint64_t end = i + kSampleToChunk.entrySize < runs.size()
                                      ? ReadBe32(runs.data() + i + kSampleToChunk.entrySize)
                                      : t.chunks + 1;
        const std::uint64_t perChunk = ReadBe32(runs.data() + i + 4);
        for (std::uint64_t chunk = firstChunk; chunk < end; ++chunk) {
            std::uint64_t at = ReadBe32(offsets.data() + 4 * (chunk - 1));
            for (std::uint64_t k = 0; k < perChunk; ++k, ++sample)
                at += constant ? constant : ReadBe32(stsz.data() + kStszEntries + 4 * sample);
            if (at > mdatEnd) return false;
        }
    }
    return true;
}

bool ReadTrack(sMP4BOX& trak, const sMP4BOX& mdat, TrackBoxes* t, std::string* error) {
    sMP4BOX* mdia = Container(&trak, "mdia");
    sMP4BOX* minf = Container(mdia, "minf");
    sMP4BOX* stbl = Container(minf, "stbl");
    t->trak = &trak;
    t->tkhd = Child(&trak, "tkhd");
    t->elst = Child(Container(&trak, "edts"), "elst");
    t->mdhd = Child(mdia, "mdhd");
    t->hdlr = Child(mdia, "hdlr");
    if (!stbl) return Fail(error, "a track without a complete sample table");
    for (sMP4BOX& box : stbl->children)
        if (!CarriedSampleTable(box))
            return Fail(error, std::string("a sample table of type ") + box.type +
                                   " cannot be joined");
    if (stbl->children.empty()) return Fail(error, "an empty sample table");
    t->stsd = Child(stbl, "stsd");
    t->stts = Child(stbl, "stts");
    t->ctts = Child(stbl, "ctts");
    t->stss = Child(stbl, "stss");
    t->stsc = Child(stbl, "stsc");
    t->stsz = Child(stbl, "stsz");
    t->stco = Child(stbl, "stco");
    t->sbgp = Child(stbl, "sbgp");
    for (const sMP4BOX* box : {t->tkhd, t->mdhd, t->hdlr, t->stsd, t->stts, t->stsc, t->stsz, t->stco})
        if (!box || !box->payload) return Fail(error, "a track lacks a header or a sample table");
    if (PayloadOf(t->hdlr).size() < kHandlerType + 4 || TimeScaleOf(PayloadOf(t->mdhd)) == 0)
        return Fail(error, "a track header is cut short");

    // Sample count from the sizes, every other table checked against it.
    const auto stsz = PayloadOf(t->stsz);
    if (stsz.size() < kStszEntries) return Fail(error, "sample sizes cut short");
    const std::uint32_t constant = ReadBe32(stsz.data() + kStszConstantSize);
    t->samples = ReadBe32(stsz.data() + kStszCount);
    if (constant == 0 ? t->samples > (stsz.size() - kStszEntries) / 4
                      : t->samples * constant > mdat.payloadSize)
        return Fail(error, "more sample sizes than the table or the media data hold");

    // Run-length tables must cover every sample: the next movie's runs are appended behind
    // them and would otherwise describe the first movie's last samples.
    std::span<const std::uint8_t> entries;
    if (!TableEntries(PayloadOf(t->stts), kTimeToSample, &entries))
        return Fail(error, "sample times cut short");
    if (SamplesInRuns(entries, kTimeToSample.entrySize) != t->samples)
        return Fail(error, "sample times and sample sizes disagree");
    if (t->ctts && (!TableEntries(PayloadOf(t->ctts), kCompositionOffset, &entries) ||
                    SamplesInRuns(entries, kCompositionOffset.entrySize) != t->samples))
        return Fail(error, "composition offsets and sample sizes disagree");
    if (t->stss) {
        if (!TableEntries(PayloadOf(t->stss), kSyncSamples, &entries))
            return Fail(error, "sync samples cut short");
        for (std::size_t i = 0; i < entries.size(); i += 4) {
            const std::uint32_t n = ReadBe32(entries.data() + i);
            if (n == 0 || n > t->samples) return Fail(error, "a sync sample out of range");
        }
    }

    if (!TableEntries(PayloadOf(t->stco), kChunkOffsets, &entries))
        return Fail(error, "chunk offsets cut short");
    t->chunks = entries.size() / 4;
    // Every chunk must lie in the media data, which is what moves as a whole.
    const std::uint64_t mdatEnd = mdat.sourceOffset + mdat.payloadSize;
    for (std::size_t i = 0; i < entries.size(); i += 4) {
        const std::uint32_t offset = ReadBe32(entries.data() + i);
        if (offset < mdat.sourceOffset || offset > mdatEnd)
            return Fail(error, "a chunk lies outside the media data");
    }

    if (!TableEntries(PayloadOf(t->stsc), kSampleToChunk, &entries))
        return Fail(error, "sample-to-chunk table cut short");
    // The runs of chunks must start at chunk 1 and hold every sample: the next movie's
    // samples are found behind the first's by counting through these runs.
    std::uint64_t chunked = 0;
    for (std::size_t i = 0; i < entries.size(); i += 12) {
        const std::uint64_t firstChunk = ReadBe32(entries.data() + i);
        const std::uint64_t end = i + 12 < entries.size() ? ReadBe32(entries.data() + i + 12) : t->chunks + 1;
        if ((i == 0 && firstChunk != 1) || firstChunk >= end || firstChunk > t->chunks)
            return Fail(error, "sample-to-chunk entries out of order");
        chunked += (end - firstChunk) * ReadBe32(entries.data() + i + 4);
        if (chunked > t->samples) break;
    }
    if (chunked != t->samples) return Fail(error, "chunks and sample sizes disagree");
    if (!SamplesInMediaData(*t, mdat)) return Fail(error, "a sample runs past the media data");

    if (t->sbgp) {
        // Groups may leave the last samples out, never name more than there are.
        const auto sbgp = PayloadOf(t->sbgp);
        if (!TableEntries(sbgp, SampleGroupLayout(sbgp), &entries) ||
            SamplesInRuns(entries, SampleGroupLayout(sbgp).entrySize) > t->samples)
            return Fail(error, "sample groups and sample sizes disagree");
    }
    return true;
}

bool ReadMovieParts(sMP4MOVIE& movie, MovieParts* parts, std::string* error) {
    sMP4BOX& root = movie.root;
    sMP4BOX* moov = Container(&root, "moov");
    if (!moov) return Fail(error, "no complete movie box");
    if (Child(&root, "moof") || Child(moov, "mvex"))
        return Fail(error, "fragmented movies cannot be joined");
    if (movie.lists[LIST_MDAT].size() != 1 || movie.lists[LIST_MDAT][0]->depth != 1)
        return Fail(error, "a movie must hold one media data box");
    // A second movie box would be written out as it stands, its chunk offsets no longer
    // pointing at its samples.
    if (std::count_if(root.children.begin(), root.children.end(),
                      [](const sMP4BOX& box) { return box.IsType("moov"); }) != 1)
        return Fail(error, "a movie must hold one movie box");
    parts->mdat = movie.lists[LIST_MDAT][0];
    parts->mvhd = Child(moov, "mvhd");
    if (!parts->mvhd || TimeScaleOf(PayloadOf(parts->mvhd)) == 0)
        return Fail(error, "no movie header");
    std::vector<sMP4BOX*> udat;
    CollectBoxesByType(udat, root, "udat");
    parts->udat = udat.empty() ? nullptr : udat.front();
    parts->tracks.clear();
    for (sMP4BOX& child : moov->children) {
        if (!child.IsType("trak")) continue;
        if (child.loaded) return Fail(error, "a track box holds boxes of unknown types");
        if (!ReadTrack(child, *parts->mdat, &parts->tracks.emplace_back(), error)) return false;
    }
    if (parts->tracks.empty()) return Fail(error, "no tracks");
    return true;
}

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size()) == 0;
}

// Bytes of a sample description that only report bit rates: the "btrt" box and the rate
// fields of an MPEG-4 decoder configuration ("esds"). Encoders fill them from the stream they
// wrote, so movies made alike differ there, while a decoder never reads them.
void MarkRateFields(std::span<const std::uint8_t> d, std::vector<bool>& mask) {
    auto markRange = [&](std::size_t from, std::size_t count) {
        for (std::size_t i = from; i < from + count && i < d.size(); ++i)
            mask[i] = true;
    };
    // A descriptor's length: one to four bytes, seven bits each, high bit set while more follow.
    auto descriptorBody = [&](std::size_t p, std::uint8_t tag) -> std::size_t {
        if (p >= d.size() || d[p] != tag) return 0;
        for (int i = 1; i <= 4 && p + i < d.size(); ++i)
            if (!(d[p + i] & 0x80)) return p + i + 1;
        return 0;
    };
    for (std::size_t i = 0; i + 4 <= d.size(); ++i) {
        if (std::memcmp(d.data() + i, "btrt", 4) == 0) markRange(i + 4, 12);
        if (std::memcmp(d.data() + i, "esds", 4) != 0) continue;
        std::size_t p = descriptorBody(i + 8, 0x03);  // behind the version and flags
        if (!p || p + 3 > d.size()) continue;
        const std::uint8_t flags = d[p + 2];
        p += 3;
        if (flags & 0x80) p += 2;                              // depends on a stream
        if (flags & 0x40) p += p < d.size() ? 1 + d[p] : 0;    // URL
        if (flags & 0x20) p += 2;                              // clock reference stream
        p = descriptorBody(p, 0x04);
        if (p) markRange(p + 2, 11);  // buffer size, maximum and average bit rate
    }
}

bool SameSampleDescriptions(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    if (a.size() != b.size()) return false;
    std::vector<bool> mask(a.size(), false);
    MarkRateFields(a, mask);
    MarkRateFields(b, mask);
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && !mask[i]) return false;
    return true;
}

bool PartsMatch(const MovieParts& a, const MovieParts& b, std::string* error) {
    if (TimeScaleOf(PayloadOf(a.mvhd)) != TimeScaleOf(PayloadOf(b.mvhd)))
        return Fail(error, "the movies have different time scales");
    if (a.tracks.size() != b.tracks.size())
        return Fail(error, "the movies have different numbers of tracks");
    for (std::size_t i = 0; i < a.tracks.size(); ++i) {
        const TrackBoxes& x = a.tracks[i];
        const TrackBoxes& y = b.tracks[i];
        const auto hx = PayloadOf(x.hdlr).subspan(kHandlerType, 4);
        const auto hy = PayloadOf(y.hdlr).subspan(kHandlerType, 4);
        if (!SameBytes(hx, hy)) return Fail(error, "the movies' tracks are of different kinds");
        if (!SameSampleDescriptions(PayloadOf(x.stsd), PayloadOf(y.stsd)))
            return Fail(error, "the movies' tracks have different codecs or settings");
        if (TimeScaleOf(PayloadOf(x.mdhd)) != TimeScaleOf(PayloadOf(y.mdhd)))
            return Fail(error, "the movies' tracks have different time scales");
        if (!x.ctts != !y.ctts || !x.stss != !y.stss ||
            (x.ctts && VersionOf(PayloadOf(x.ctts)) != VersionOf(PayloadOf(y.ctts))))
            return Fail(error, "the movies' tracks have different sample tables");
    }
    return true;
}

// ---- Edit lists: where each movie's tracks play in the joined movie ----
//
// Every movie plays from a point of each track's media (an AAC track, for one, starts behind
// the encoder's priming samples, which its edit list skips) for a length of its own. In the
// joined movie each following movie must do the same, where its picture starts: its edits
// are appended, their media times moved behind the media joined so far. Edits that continue
// one another (the usual video track) merge into one, so that a movie that needs a single
// edit keeps a single edit. Leading empty edits of a following movie (a track that starts
// late) are dropped: a demuxer honours empty edits only at the start of a track.
//
// Every other track than the picture's (the first video track) is then made to end at the
// joint, so that the next movie's sound starts with its picture rather than a little before
// or after, the error growing joint by joint. A decoder gives whole frames (of 1024 samples
// for AAC), and a demuxer plays every frame that starts inside an edit, whole; so the edit
// ends at the frame boundary nearest to the joint, within half a frame of it, and what the
// decoder gives then matches the time stamps. The last frame of a movie often holds fewer
// samples than it decodes to (the encoder's padding): it counts as the whole frame it plays.

constexpr std::uint32_t kRateOne = 0x00010000;  // 16.16 fixed point

struct Edit {
    std::uint64_t duration = 0;  // movie time scale
    std::int64_t mediaTime = 0;  // track time scale; -1: an empty edit
    std::uint32_t rate = kRateOne;
};

// How one track of a movie plays.
struct TrackTimeline {
    std::vector<Edit> edits;          // as stored, or one edit of the whole media
    bool stored = false;              // the track has an edit list
    int version = 0;                  // of its edit list
    std::uint64_t mediaDuration = 0;  // the sum of its sample durations
    std::uint32_t mediaScale = 0;
};

std::uint64_t TrackDuration(std::span<const std::uint8_t> tkhd) {
    const bool v1 = VersionOf(tkhd) == 1;
    const std::size_t at = kTkhdDuration[v1 ? 1 : 0];
    if (tkhd.size() < at + (v1 ? 8 : 4)) return 0;
    return v1 ? ReadBe64(tkhd.data() + at) : ReadBe32(tkhd.data() + at);
}

// The sum of the sample durations of a "stts" payload.
std::uint64_t SampleTimesTotal(std::span<const std::uint8_t> stts) {
    std::span<const std::uint8_t> entries;
    TableEntries(stts, kTimeToSample, &entries);
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < entries.size(); i += kTimeToSample.entrySize)
        sum += std::uint64_t(ReadBe32(entries.data() + i)) * ReadBe32(entries.data() + i + 4);
    return sum;
}

// How much shorter the last sample is than the one before it. An encoder's last frame of
// sound holds the samples that were left, fewer than it decodes to; in the middle of a joined
// track it plays as the whole frame, and counts as one, so that the time stamps behind it
// stay where the decoder's samples are.
std::uint32_t LastSampleShortfall(std::span<const std::uint8_t> stts) {
    std::span<const std::uint8_t> entries;
    TableEntries(stts, kTimeToSample, &entries);
    const std::size_t n = entries.size() / kTimeToSample.entrySize;
    if (n < 2 || ReadBe32(entries.data() + 8 * (n - 1)) != 1) return 0;
    const std::uint32_t last = ReadBe32(entries.data() + 8 * (n - 1) + 4);
    const std::uint32_t before = ReadBe32(entries.data() + 8 * (n - 2) + 4);
    return before > last ? before - last : 0;
}

TableLayout EditLayout(int version) { return {8, 4, std::size_t(version == 1 ? 20 : 12)}; }

bool ReadTimeline(const TrackBoxes& t, TrackTimeline* line) {
    line->mediaScale = TimeScaleOf(PayloadOf(t.mdhd));
    line->mediaDuration = SampleTimesTotal(PayloadOf(t.stts));
    line->edits.clear();
    line->stored = t.elst != nullptr;
    if (!line->stored) {
        line->edits.push_back({TrackDuration(PayloadOf(t.tkhd)), 0, kRateOne});
        return true;
    }
    const auto elst = PayloadOf(t.elst);
    line->version = VersionOf(elst);
    std::span<const std::uint8_t> entries;
    if (line->version < 0 || line->version > 1 || !TableEntries(elst, EditLayout(line->version), &entries))
        return false;
    const std::size_t size = EditLayout(line->version).entrySize;
    for (std::size_t i = 0; i < entries.size(); i += size) {
        const std::uint8_t* e = entries.data() + i;
        Edit edit;
        if (line->version == 1) {
            edit = {ReadBe64(e), std::int64_t(ReadBe64(e + 8)), ReadBe32(e + 16)};
        } else {
            edit = {ReadBe32(e), std::int32_t(ReadBe32(e + 4)), ReadBe32(e + 8)};
        }
        if (edit.mediaTime < -1) return false;
        line->edits.push_back(edit);
    }
    return true;
}

std::uint64_t TotalDuration(const std::vector<Edit>& edits) {
    std::uint64_t sum = 0;
    for (const Edit& e : edits)
        sum += e.duration;
    return sum;
}

// Ends the last edit that plays media at the sample boundary nearest to `joint` (the movie
// time scale); the samples are those of the "stts" entries, the last one `shortfall` longer.
void EndEditAtJoint(TrackTimeline& line, std::span<const std::uint8_t> stts, std::uint32_t shortfall,
                    std::uint64_t joint, std::uint32_t movieScale) {
    std::uint64_t position = 0, start = 0;  // the movie time scale
    Edit* last = nullptr;
    for (Edit& e : line.edits) {
        if (e.mediaTime >= 0) {
            last = &e;
            start = position;
        }
        position += e.duration;
    }
    if (!last || last->rate != kRateOne || joint <= start) return;
    const std::uint64_t from = std::uint64_t(last->mediaTime);
    const long double target = (long double)from + (long double)(joint - start) * line.mediaScale / movieScale;

    // The sample boundaries behind the edit's start; the nearest wins, the earlier on a tie.
    std::uint64_t best = 0, t = 0;
    long double bestDistance = -1;
    auto consider = [&](std::uint64_t boundary) {
        const long double distance = std::fabs((long double)boundary - target);
        if (boundary > from && (bestDistance < 0 || distance < bestDistance)) {
            best = boundary;
            bestDistance = distance;
        }
    };
    for (std::size_t i = 0; i + kTimeToSample.entrySize <= stts.size(); i += kTimeToSample.entrySize) {
        const std::uint64_t count = ReadBe32(stts.data() + i), delta = ReadBe32(stts.data() + i + 4);
        if (count == 0) continue;
        const bool lastRun = i + kTimeToSample.entrySize == stts.size();
        // The run's boundaries are t + k * delta, k = 1 .. count; the last one of the track
        // lies `shortfall` further.
        const std::uint64_t inner = lastRun ? count - 1 : count;
        if (delta > 0 && inner > 0) {
            const long double k = std::round((target - (long double)t) / delta);
            const std::uint64_t nearest = k < 1 ? 1 : k > (long double)inner ? inner : std::uint64_t(k);
            for (std::uint64_t j = nearest > 1 ? nearest - 1 : 1; j <= nearest + 1 && j <= inner; ++j)
                consider(t + j * delta);
        }
        t += count * delta;
        if (lastRun) consider(t + shortfall);
    }
    if (bestDistance < 0) return;
    // The edit ends inside the last sample it plays: that one starts before the end, the
    // next one at or behind it.
    const std::uint64_t duration = std::uint64_t((unsigned __int128)(best - from) * movieScale / line.mediaScale);
    if (duration > 0) last->duration = duration;
}

// Appends the edits that play media of the next movie's track, whose media begins at `base`
// of the joined track; an edit that continues the one before it lengthens it. False when a
// media time does not fit.
bool AppendEdits(TrackTimeline& line, const TrackTimeline& next, std::uint64_t base, std::uint32_t movieScale) {
    constexpr std::int64_t kMaxTime = std::numeric_limits<std::int64_t>::max();
    for (Edit e : next.edits) {
        if (e.mediaTime < 0) continue;
        if (base > std::uint64_t(kMaxTime) || e.mediaTime > kMaxTime - std::int64_t(base)) return false;
        e.mediaTime += std::int64_t(base);
        if (!line.edits.empty()) {
            Edit& before = line.edits.back();
            const bool continues =
                before.mediaTime >= 0 && before.rate == kRateOne && e.rate == kRateOne &&
                (unsigned __int128)(e.mediaTime - before.mediaTime) * movieScale ==
                    (unsigned __int128)before.duration * line.mediaScale;
            if (continues) {
                before.duration += e.duration;
                continue;
            }
        }
        line.edits.push_back(e);
    }
    return true;
}

// The edit list's payload; false when a value does not fit its version.
bool EditListPayload(const TrackTimeline& line, std::span<const std::uint8_t> stored, std::vector<std::uint8_t>* out) {
    const int version = line.stored ? line.version : 0;
    const std::size_t size = EditLayout(version).entrySize;
    out->assign(8 + size * line.edits.size(), 0);
    if (stored.size() >= 4) std::copy(stored.begin(), stored.begin() + 4, out->begin());  // version, flags
    (*out)[0] = std::uint8_t(version);
    if (line.edits.size() > kMax32) return false;
    PutBe32(out->data() + 4, std::uint32_t(line.edits.size()));
    std::uint8_t* p = out->data() + 8;
    for (const Edit& e : line.edits) {
        if (version == 1) {
            PutBe64(p, e.duration);
            PutBe64(p + 8, std::uint64_t(e.mediaTime));
            PutBe32(p + 16, e.rate);
        } else {
            if (e.duration > kMax32 || e.mediaTime > std::numeric_limits<std::int32_t>::max()) return false;
            PutBe32(p, std::uint32_t(e.duration));
            PutBe32(p + 4, std::uint32_t(std::int32_t(e.mediaTime)));
            PutBe32(p + 8, e.rate);
        }
        p += size;
    }
    return true;
}

// A duration field of a header box ("tkhd", "mvhd") set to `value`.
bool SetDuration(std::span<const std::uint8_t> payload, const std::size_t (&offsets)[2], std::uint64_t value,
                 std::vector<std::uint8_t>* out) {
    const bool v1 = VersionOf(payload) == 1;
    const std::size_t at = offsets[v1 ? 1 : 0];
    if (payload.size() < at + (v1 ? 8 : 4) || (!v1 && value > kMax32)) return false;
    out->assign(payload.begin(), payload.end());
    if (v1) PutBe64(out->data() + at, value);
    else PutBe32(out->data() + at, std::uint32_t(value));
    return true;
}

// The recorder records of a data block (from "CSMDAT"), with its header bytes.
bool BlockRecords(std::span<const std::uint8_t> block, std::vector<RawRecordBytes>* records,
                  std::array<std::uint8_t, kBlockHeaderSize>* header) {
    if (block.size() < kBlockRecordsOffset ||
        std::memcmp(block.data(), kDataTag.data(), kDataTag.size()) != 0)
        return false;
    if (header) std::memcpy(header->data(), block.data() + kBlockHeaderOffset, kBlockHeaderSize);
    WalkRawRecords(block, [&](std::int32_t, RawRecord record) {
        RawRecordBytes& r = records->emplace_back();
        std::memcpy(r.data(), record.data(), r.size());
    });
    return true;
}

// A data block as a joined movie carries it: "CSMDAT", the header, the count (0xFFFF, the
// uncounted form, from 65535 records on), the records and "CSMEND", nothing behind it.
std::vector<std::uint8_t> MakeRecorderBlock(const std::array<std::uint8_t, kBlockHeaderSize>& header,
                                            const std::vector<RawRecordBytes>& records) {
    std::vector<std::uint8_t> block(kDataTag.begin(), kDataTag.end());
    block.insert(block.end(), header.begin(), header.end());
    const std::size_t count = records.size() < kUncountedRecords ? records.size() : kUncountedRecords;
    block.push_back(std::uint8_t(count >> 8));
    block.push_back(std::uint8_t(count));
    block.reserve(block.size() + records.size() * sRAWRECORD::kSize + kEndTag.size());
    for (const RawRecordBytes& r : records)
        block.insert(block.end(), r.begin(), r.end());
    block.insert(block.end(), kEndTag.begin(), kEndTag.end());
    return block;
}

// The records of a following movie go behind the ones joined so far; a movie that has
// records adds its last one twice more.
void AppendJoinedRecords(std::vector<RawRecordBytes>& to, const std::vector<RawRecordBytes>& from) {
    to.insert(to.end(), from.begin(), from.end());
    if (!from.empty()) to.insert(to.end(), 2, from.back());
}

// The track whose picture marks the joints: the first video track (or the first track).
std::size_t PictureTrack(const MovieParts& parts) {
    for (std::size_t i = 0; i < parts.tracks.size(); ++i)
        if (std::memcmp(PayloadOf(parts.tracks[i].hdlr).data() + kHandlerType, "vide", 4) == 0) return i;
    return 0;
}

// New payloads for boxes of the first movie, and edit lists for its tracks that had none,
// put in place together once all were made.
struct StagedPayloads {
    // Deques: a payload being made stays where it is while others are added.
    std::deque<std::pair<sMP4BOX*, std::vector<std::uint8_t>>> items;
    std::deque<std::pair<sMP4BOX*, std::vector<std::uint8_t>>> newEditLists;  // track box, "elst" payload

    std::vector<std::uint8_t>* For(sMP4BOX* box) { return &items.emplace_back(box, std::vector<std::uint8_t>{}).second; }

    // Changes the tree of `movie`; box pointers into a changed track's boxes are stale then,
    // and the movie's lists are read again.
    void Commit(sMP4MOVIE& movie) {
        for (auto& [box, bytes] : items) {
            box->payloadSize = bytes.size();
            box->payload = std::move(bytes);
        }
        if (newEditLists.empty()) return;
        for (auto& [trak, bytes] : newEditLists) {
            sMP4BOX edts;
            std::memcpy(edts.type, "edts", kBoxTypeLength);
            edts.depth = trak->depth + 1;
            sMP4BOX& elst = edts.children.emplace_back();
            std::memcpy(elst.type, "elst", kBoxTypeLength);
            elst.depth = edts.depth + 1;
            elst.loaded = 1;
            elst.payloadSize = bytes.size();
            elst.payload = std::move(bytes);
            // Where a track's boxes keep it: behind the track header, before the media.
            auto at = std::find_if(trak->children.begin(), trak->children.end(),
                                   [](const sMP4BOX& b) { return b.IsType("mdia"); });
            trak->children.insert(at, std::move(edts));
        }
        for (int i = 0; i < MOVIE_LIST_COUNT; ++i) {
            movie.lists[i].clear();
            CollectBoxesByType(movie.lists[i], movie.root, kMovieListTypes[i]);
        }
    }
};

// The edit lists and durations of the joined tracks and movie (see Edit lists above).
bool JoinTimelines(const MovieParts& f, const MovieParts& n, std::size_t picture, StagedPayloads& staged,
                   std::string* error) {
    const std::uint32_t movieScale = TimeScaleOf(PayloadOf(f.mvhd));
    std::vector<TrackTimeline> lines(f.tracks.size()), next(f.tracks.size());
    for (std::size_t i = 0; i < f.tracks.size(); ++i)
        if (!ReadTimeline(f.tracks[i], &lines[i]) || !ReadTimeline(n.tracks[i], &next[i]))
            return Fail(error, "an edit list is cut short");
    const std::uint64_t joint = TotalDuration(lines[picture].edits);

    std::uint64_t movieDuration = 0;
    for (std::size_t i = 0; i < f.tracks.size(); ++i) {
        TrackTimeline& line = lines[i];
        const std::uint32_t shortfall = i == picture ? 0 : LastSampleShortfall(PayloadOf(f.tracks[i].stts));
        if (i != picture) {
            std::span<const std::uint8_t> stts;
            TableEntries(PayloadOf(f.tracks[i].stts), kTimeToSample, &stts);
            EndEditAtJoint(line, stts, shortfall, joint, movieScale);
        }
        if (!AppendEdits(line, next[i], line.mediaDuration + shortfall, movieScale))
            return Fail(error, "the joined movie is too long for its edit list");
        const std::uint64_t duration = TotalDuration(line.edits);
        movieDuration = std::max(movieDuration, duration);
        if (!SetDuration(PayloadOf(f.tracks[i].tkhd), kTkhdDuration, duration, staged.For(f.tracks[i].tkhd)))
            return Fail(error, "the joined movie is too long for its track header");
        const bool plain = line.edits.size() == 1 && line.edits[0].mediaTime == 0 && line.edits[0].rate == kRateOne;
        if (!line.stored && plain) continue;
        std::vector<std::uint8_t>* elst = line.stored ? staged.For(f.tracks[i].elst)
                                                      : &staged.newEditLists.emplace_back(f.tracks[i].trak, std::vector<std::uint8_t>{}).second;
        if (!EditListPayload(line, PayloadOf(f.tracks[i].elst), elst))
            return Fail(error, "the joined movie is too long for its edit list");
    }
    if (!SetDuration(PayloadOf(f.mvhd), kMvhdDuration, movieDuration, staged.For(f.mvhd)))
        return Fail(error, "the joined movie is too long for its header");
    return true;
}

// The tables of one track of the next movie appended to the same track of the first: new
// payloads staged, nothing changed yet.
bool JoinTables(const TrackBoxes& f, const TrackBoxes& n, bool picture, std::int64_t offsetShift,
                StagedPayloads& staged, std::string* error) {
    // Sample and chunk numbers of the next movie continue the first's.
    if (f.samples + n.samples > kMax32 || f.chunks + n.chunks > kMax32)
        return Fail(error, "too many samples for one movie");
    // A short last frame of sound lasts the whole frame it decodes to now that others follow
    // it (a picture's last frame keeps the time it is shown).
    std::vector<std::uint8_t> times(PayloadOf(f.stts).begin(), PayloadOf(f.stts).end());
    if (const std::uint32_t shortfall = picture ? 0 : LastSampleShortfall(times)) {
        std::span<const std::uint8_t> entries;
        TableEntries(times, kTimeToSample, &entries);
        std::uint8_t* lastDelta = times.data() + (entries.data() - times.data()) + entries.size() - 4;
        PutBe32(lastDelta, ReadBe32(lastDelta) + shortfall);
    }
    std::vector<std::uint8_t>* joinedTimes = staged.For(f.stts);
    bool ok = JoinBoxPayload(times, PayloadOf(n.stts), kTimeToSample, 0, joinedTimes) &&
              SetDuration(PayloadOf(f.mdhd), kMdhdDuration, SampleTimesTotal(*joinedTimes), staged.For(f.mdhd)) &&
              JoinBoxPayload(PayloadOf(f.stsc), PayloadOf(n.stsc), kSampleToChunk,
                             std::uint32_t(f.chunks), staged.For(f.stsc)) &&
              JoinSampleSizes(PayloadOf(f.stsz), PayloadOf(n.stsz), kMaxExpandedSamples,
                              staged.For(f.stsz));
    if (ok && f.ctts)
        ok = JoinBoxPayload(PayloadOf(f.ctts), PayloadOf(n.ctts), kCompositionOffset, 0,
                            staged.For(f.ctts));
    if (ok && f.stss)
        ok = JoinBoxPayload(PayloadOf(f.stss), PayloadOf(n.stss), kSyncSamples,
                            std::uint32_t(f.samples), staged.For(f.stss));
    if (!ok) return Fail(error, "the sample tables cannot be joined");

    // Chunk offsets: the next movie's media data goes behind the first's, so its offsets
    // move by the distance between the two. The sum is checked to fit 32 bits.
    std::vector<std::uint8_t>* stco = staged.For(f.stco);
    std::span<const std::uint8_t> fe, ne;
    TableEntries(PayloadOf(f.stco), kChunkOffsets, &fe);
    TableEntries(PayloadOf(n.stco), kChunkOffsets, &ne);
    stco->assign(PayloadOf(f.stco).begin(), PayloadOf(f.stco).begin() + 8 + fe.size());
    stco->resize(stco->size() + ne.size());
    PutBe32(stco->data() + 4, std::uint32_t(f.chunks + n.chunks));
    for (std::size_t i = 0; i < ne.size(); i += 4) {
        const std::int64_t moved = std::int64_t(ReadBe32(ne.data() + i)) + offsetShift;
        if (moved < 0 || std::uint64_t(moved) > kMax32)
            return Fail(error, "the joined movie would pass 4 GiB");
        PutBe32(stco->data() + 8 + fe.size() + i, std::uint32_t(moved));
    }

    // Sample groups (the audio's pre-roll) follow when both describe the same grouping. The
    // first's samples that no group names get a run of "no group" (index 0), so that the next's
    // runs start at its first sample.
    const auto fg = PayloadOf(f.sbgp), ng = PayloadOf(n.sbgp);
    if (f.sbgp && n.sbgp && VersionOf(fg) == VersionOf(ng) && SameBytes(fg.subspan(4, 4), ng.subspan(4, 4))) {
        const TableLayout& layout = SampleGroupLayout(fg);
        std::span<const std::uint8_t> fe;
        TableEntries(fg, layout, &fe);
        std::vector<std::uint8_t> first(fg.begin(), fg.begin() + std::ptrdiff_t(layout.headerLength + fe.size()));
        const std::uint64_t left = f.samples - SamplesInRuns(fe, layout.entrySize);
        if (left > 0) {
            first.resize(first.size() + layout.entrySize);
            PutBe32(first.data() + first.size() - layout.entrySize, std::uint32_t(left));
            PutBe32(first.data() + layout.countOffset, std::uint32_t(fe.size() / layout.entrySize + 1));
        }
        if (!JoinBoxPayload(first, ng, layout, 0, staged.For(f.sbgp)))
            return Fail(error, "the sample groups cannot be joined");
    }
    return true;
}

}  // namespace

bool TableEntries(std::span<const std::uint8_t> payload, const TableLayout& layout,
                  std::span<const std::uint8_t>* entries) {
    *entries = {};
    if (payload.size() < layout.headerLength || layout.countOffset + 4 > layout.headerLength)
        return false;
    const std::uint64_t count = ReadBe32(payload.data() + layout.countOffset);
    if (count > (payload.size() - layout.headerLength) / layout.entrySize) return false;
    *entries = payload.subspan(layout.headerLength, std::size_t(count) * layout.entrySize);
    return true;
}

bool JoinBoxPayload(std::span<const std::uint8_t> first, std::span<const std::uint8_t> next,
                    const TableLayout& layout, std::uint32_t add, std::vector<std::uint8_t>* out) {
    std::span<const std::uint8_t> fe, ne;
    if (!TableEntries(first, layout, &fe) || !TableEntries(next, layout, &ne)) return false;
    const std::uint64_t count = (fe.size() + ne.size()) / layout.entrySize;
    if (count > kMax32) return false;
    try {
        out->assign(first.begin(), first.begin() + layout.headerLength + fe.size());
        out->insert(out->end(), ne.begin(), ne.end());
    } catch (const std::bad_alloc&) {
        return false;
    }
    PutBe32(out->data() + layout.countOffset, std::uint32_t(count));
    if (add == 0) return true;
    for (std::size_t i = layout.headerLength + fe.size(); i < out->size(); i += layout.entrySize) {
        const std::uint64_t value = std::uint64_t(ReadBe32(out->data() + i)) + add;
        if (value > kMax32) return false;
        PutBe32(out->data() + i, std::uint32_t(value));
    }
    return true;
}

bool JoinSampleSizes(std::span<const std::uint8_t> first, std::span<const std::uint8_t> next,
                     std::uint64_t maxSamples, std::vector<std::uint8_t>* out) {
    if (first.size() < kStszEntries || next.size() < kStszEntries) return false;
    const std::uint32_t fs = ReadBe32(first.data() + kStszConstantSize);
    const std::uint32_t ns = ReadBe32(next.data() + kStszConstantSize);
    const std::uint64_t fc = ReadBe32(first.data() + kStszCount);
    const std::uint64_t nc = ReadBe32(next.data() + kStszCount);
    if (fc + nc > kMax32) return false;
    if ((fs == 0 && fc > (first.size() - kStszEntries) / 4) ||
        (ns == 0 && nc > (next.size() - kStszEntries) / 4))
        return false;
    if (fs != 0 && fs == ns) {
        out->assign(first.begin(), first.begin() + kStszEntries);
        PutBe32(out->data() + kStszCount, std::uint32_t(fc + nc));
        return true;
    }
    if ((fs != 0 && fc > maxSamples) || (ns != 0 && nc > maxSamples)) return false;
    try {
        out->assign(first.begin(), first.begin() + kStszEntries);
        out->reserve(kStszEntries + 4 * (fc + nc));
        for (const auto& [table, size, count] : {std::tuple{first, fs, fc}, std::tuple{next, ns, nc}}) {
            if (size == 0) {
                out->insert(out->end(), table.begin() + kStszEntries,
                            table.begin() + kStszEntries + 4 * count);
                continue;
            }
            std::uint8_t be[4];
            PutBe32(be, size);
            for (std::uint64_t i = 0; i < count; ++i)
                out->insert(out->end(), be, be + 4);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    PutBe32(out->data() + kStszConstantSize, 0);
    PutBe32(out->data() + kStszCount, std::uint32_t(fc + nc));
    return true;
}

bool AddTableValue(std::span<const std::uint8_t> first, std::span<const std::uint8_t> next,
                   std::size_t v0Offset, std::size_t v1Offset, std::vector<std::uint8_t>* out) {
    const int version = VersionOf(first);
    if (version < 0 || version > 1 || version != VersionOf(next)) return false;
    const std::size_t at = version == 1 ? v1Offset : v0Offset;
    const std::size_t size = version == 1 ? 8 : 4;
    if (first.size() < at + size || next.size() < at + size) return false;
    out->assign(first.begin(), first.end());
    if (version == 1) {
        const std::uint64_t a = ReadBe64(first.data() + at), b = ReadBe64(next.data() + at);
        if (a + b < a) return false;
        PutBe64(out->data() + at, a + b);
    } else {
        const std::uint64_t sum = std::uint64_t(ReadBe32(first.data() + at)) + ReadBe32(next.data() + at);
        if (sum > kMax32) return false;
        PutBe32(out->data() + at, std::uint32_t(sum));
    }
    return true;
}

bool JoinMovieBoxes(sMP4MOVIE& first, sMP4MOVIE& next, std::string* error) {
    MovieParts f, n;
    if (!ReadMovieParts(first, &f, error) || !ReadMovieParts(next, &n, error) ||
        !PartsMatch(f, n, error))
        return false;

    // The joined media data is the first movie's followed by the next's; chunk offsets stay
    // relative to the first movie's file until the output's layout is known.
    const std::uint64_t base = f.mdat->payloadSize;
    if (f.mdat->sourceOffset + base + n.mdat->sourceSize > kMax32)
        return Fail(error, "the joined movie would pass 4 GiB");
    const std::int64_t shift = std::int64_t(f.mdat->sourceOffset + base) - std::int64_t(n.mdat->sourceOffset);

    StagedPayloads staged;
    const std::size_t picture = PictureTrack(f);
    for (std::size_t i = 0; i < f.tracks.size(); ++i)
        if (!JoinTables(f.tracks[i], n.tracks[i], i == picture, shift, staged, error)) return false;
    if (!JoinTimelines(f, n, picture, staged, error)) return false;

    // The recorder block inside the movie carries the records of every joined movie.
    std::vector<RawRecordBytes> records, nextRecords;
    std::array<std::uint8_t, kBlockHeaderSize> header{};
    if (f.udat && n.udat && BlockRecords(PayloadOf(f.udat), &records, &header) &&
        BlockRecords(PayloadOf(n.udat), &nextRecords, nullptr)) {
        AppendJoinedRecords(records, nextRecords);
        *staged.For(f.udat) = MakeRecorderBlock(header, records);
    }

    staged.Commit(first);
    sMP4BOX** tail = &f.mdat->joinHead;
    while (*tail)
        tail = &(*tail)->joinNext;
    *tail = n.mdat;
    f.mdat->payloadSize += n.mdat->sourceSize;
    return true;
}

// ---- Writing ----

namespace {

// Writes a joined tree: small parts through a buffer, media data copied file to file.
class JoinWriter {
public:
    JoinWriter(int fd, sMOVIEJOIN& join, std::uint64_t total, std::int64_t offsetShift)
        : fd_(fd), join_(join), total_(total), shift_(offsetShift) {}

    bool Node(const sMP4BOX& node) {
        if (node.depth > 0) {
            const std::uint64_t size = ComputeBoxSize(node);
            if (size > kMax32) return Fail("a box would pass 4 GiB");
            std::uint8_t header[8];
            PutBe32(header, std::uint32_t(size));
            std::memcpy(header + 4, node.type, 4);
            if (!Put(header, 8)) return false;
        }
        if (node.IsType("mdat")) {
            for (const sMP4BOX* part = &node; part; part = part == &node ? node.joinHead : part->joinNext)
                if (!CopyFromSource(*part)) return false;
            return true;
        }
        if (node.loaded && node.payload) {
            if (!node.IsType("stco")) return Put(node.payload->data(), node.payload->size());
            return ChunkOffsets(*node.payload);
        }
        // A box whose payload stayed in the file is copied as it lies there; its bytes were
        // never changed. The file itself is written box by box, and bytes behind its last
        // box that are no box of a known type follow as they are.
        if (node.loaded && node.depth > 0) return CopyFromSource(node);
        for (const sMP4BOX& child : node.children)
            if (!Node(child)) return false;
        const std::uint64_t tail = TailOffset(node);
        return tail == node.sourceSize || CopyRange(node.source, tail, node.sourceSize - tail);
    }

    // Where the bytes behind the last box of the file begin.
    static std::uint64_t TailOffset(const sMP4BOX& root) {
        if (root.depth > 0 || !root.loaded) return root.sourceSize;
        if (root.children.empty()) return 0;
        const sMP4BOX& last = root.children.back();
        return last.sourceOffset + last.sourceSize;
    }

    bool Finish() { return Flush(); }

private:
    bool Fail(std::string why) {
        if (join_.error.empty()) join_.error = std::move(why);
        return false;
    }

    bool Stopped() const { return join_.keepRunning && !join_.keepRunning->load(); }

    bool Put(const void* data, std::size_t size) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        buffer_.insert(buffer_.end(), p, p + size);
        written_ += size;
        return buffer_.size() < kBuffered || Flush();
    }

    bool Flush() {
        const bool ok = WriteAll(buffer_.data(), buffer_.size());
        buffer_.clear();
        return ok;
    }

    bool WriteAll(const std::uint8_t* p, std::size_t left) {
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Fail("cannot write the joined movie: " + SystemErrorText(errno));
            p += n;
            left -= std::size_t(n);
        }
        return true;
    }

    // The stored offsets are relative to the first movie's file; the output moves its media
    // data by `shift_`.
    bool ChunkOffsets(const std::vector<std::uint8_t>& payload) {
        std::vector<std::uint8_t> moved(payload);
        std::span<const std::uint8_t> entries;
        if (!TableEntries(payload, kChunkOffsets, &entries)) return Fail("broken chunk offsets");
        for (std::size_t i = 0; i < entries.size(); i += 4) {
            const std::int64_t v = std::int64_t(ReadBe32(entries.data() + i)) + shift_;
            if (v < 0 || std::uint64_t(v) > kMax32) return Fail("a chunk offset would pass 4 GiB");
            PutBe32(moved.data() + 8 + i, std::uint32_t(v));
        }
        return Put(moved.data(), moved.size());
    }

    bool CopyFromSource(const sMP4BOX& box) { return CopyRange(box.source, box.sourceOffset, box.sourceSize); }

    // Reads through the descriptor that was open when the movie's boxes were read: opening
    // the path again could find another file there by now.
    bool CopyRange(const sMOVIEMAPPING* source, std::uint64_t offset, std::uint64_t size) {
        if (!Flush()) return false;
        if (!source || source->file.Descriptor() < 0) return Fail("media data without a file");
        const int in = source->file.Descriptor();
        const std::string& path = source->path;
        off_t from = off_t(offset);
        std::uint64_t left = size;
        while (left > 0) {
            if (Stopped()) return Fail("stopped");
            const std::size_t piece = std::size_t(std::min<std::uint64_t>(left, kJoinCopyPiece));
            const bool copied = copyRange_ ? KernelCopy(in, &from, piece, path)
                                           : ReadWritePiece(in, &from, piece, path);
            if (!copied) return false;
            PaceWriteback(written_, piece);
            left -= piece;
            written_ += piece;
            if (join_.progressWindow)
                PostAppMessage(join_.progressWindow, WM_APP_PROGRESS, WPARAM(written_), LPARAM(total_));
        }
        return true;
    }

    // Starts writing the piece just copied to the disk and waits for the piece before it, so
    // that at most two pieces are waiting in the page cache: the closing flush of the output
    // then takes moments, and a stop is never held up by gigabytes still to be written to a
    // slow card. Errors show in that closing flush.
    void PaceWriteback(std::uint64_t at, std::size_t piece) {
        if (lastPiece_ > 0)
            ::sync_file_range(fd_, off_t(lastAt_), off_t(lastPiece_),
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        ::sync_file_range(fd_, off_t(at), off_t(piece), SYNC_FILE_RANGE_WRITE);
        lastAt_ = at;
        lastPiece_ = piece;
    }

    // Copies in the kernel (no buffer of ours; a file system may even share the blocks).
    // A file system that cannot do it turns the copy over to ReadWritePiece for good.
    bool KernelCopy(int in, off_t* from, std::size_t piece, const std::string& path) {
        std::size_t done = 0;
        while (done < piece) {
            const ssize_t n = ::copy_file_range(in, from, fd_, nullptr, piece - done, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && done == 0 &&
                (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                copyRange_ = false;
                return ReadWritePiece(in, from, piece, path);
            }
            if (n < 0) return Fail("cannot copy the media data: " + SystemErrorText(errno));
            if (n == 0) return Fail(path + " ends before its media data");
            done += std::size_t(n);
        }
        return true;
    }

    bool ReadWritePiece(int in, off_t* from, std::size_t piece, const std::string& path) {
        try {
            if (copyBuffer_.size() < piece) copyBuffer_.resize(kJoinCopyPiece);
        } catch (const std::bad_alloc&) {
            return Fail("no memory for the copy buffer");
        }
        std::size_t got = 0;
        while (got < piece) {
            const ssize_t n = ::pread(in, copyBuffer_.data() + got, piece - got, *from + off_t(got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return Fail("cannot read " + path + ": " + SystemErrorText(errno));
            if (n == 0) return Fail(path + " ends before its media data");
            got += std::size_t(n);
        }
        *from += off_t(piece);
        return WriteAll(copyBuffer_.data(), piece);
    }

    static constexpr std::size_t kBuffered = std::size_t(1) << 20;

    int fd_;
    sMOVIEJOIN& join_;
    std::uint64_t total_;
    std::int64_t shift_;
    std::uint64_t written_ = 0;
    std::uint64_t lastAt_ = 0;  // the piece whose writing PaceWriteback started last
    std::size_t lastPiece_ = 0;
    bool copyRange_ = true;
    std::vector<std::uint8_t> buffer_;
    std::vector<std::uint8_t> copyBuffer_;
};

// Where the media data's payload lands in the written tree, less where it lay in the first
// movie's file: the shift of every chunk offset. False when the tree has no top-level media
// data box.
bool MediaDataShift(const sMP4BOX& root, std::int64_t* shift) {
    std::uint64_t position = 0;
    for (const sMP4BOX& child : root.children) {
        if (child.IsType("mdat")) {
            *shift = std::int64_t(position + 8) - std::int64_t(child.sourceOffset);
            return true;
        }
        position += ComputeBoxSize(child);
    }
    return false;
}

std::uint64_t TreeSize(const sMP4BOX& root) {
    std::uint64_t size = 0;
    for (const sMP4BOX& child : root.children)
        size += ComputeBoxSize(child);
    if (root.loaded && !root.children.empty()) {
        const sMP4BOX& last = root.children.back();
        size += root.sourceSize - (last.sourceOffset + last.sourceSize);
    }
    return size;
}

bool WriteTree(sMOVIEJOIN& join, const sMP4MOVIE& movie, ReplacementFile& file) {
    if (!file.IsOpen()) {
        join.error = "cannot create the output: " + SystemErrorText(errno);
        return false;
    }
    return WriteBoxNode(movie.root, file.Fd(), join);
}

// Whether two stamps name the same file.
bool SameFile(const FileStamp& a, const FileStamp& b) { return a.device == b.device && a.inode == b.inode; }

// Every movie and data file whose bytes go into the output.
std::vector<const sMP4MOVIE*> JoinedInputs(const sMOVIEJOIN& join) {
    std::vector<const sMP4MOVIE*> inputs;
    auto add = [&](const std::unique_ptr<sMP4MOVIE>& first, const std::vector<std::unique_ptr<sMP4MOVIE>>& next) {
        if (!first) return;
        inputs.push_back(first.get());
        for (const auto& movie : next)
            inputs.push_back(movie.get());
    };
    add(join.firstFront, join.nextFront);
    if (join.hasRear) add(join.firstRear, join.nextRear);
    if (join.hasData) add(join.firstData, join.nextData);
    return inputs;
}

// Whether every input is still the file that was read: the same file under its name (not
// another one renamed over it, as a card being rewritten does), of the same size and content
// time. The media data is copied through the descriptors opened when the boxes were read, so
// that a file put in an input's place cannot mix into the output; but a file changed where it
// lies would have been copied part old and part new, and either way the output would not be
// what the user chose.
bool InputsUnchanged(const sMOVIEJOIN& join, std::string* error) {
    for (const sMP4MOVIE* movie : JoinedInputs(join)) {
        const FileView& file = movie->mapping.file;
        const FileStamp& opened = file.OpenedStamp();
        FileStamp now;
        const bool same = (!file.IsOpen() || (StampOfFile(file.Descriptor(), &now) && now == opened)) &&
                          StampOfPath(movie->mapping.path, &now) && now == opened;
        if (!same) {
            *error = movie->mapping.path + " changed while it was joined";
            return false;
        }
    }
    return true;
}

}  // namespace

bool WriteBoxNode(const sMP4BOX& node, int fd, sMOVIEJOIN& join) {
    if (node.depth > 0) {
        JoinWriter writer(fd, join, ComputeBoxSize(node), 0);
        return writer.Node(node) && writer.Finish();
    }
    // A whole movie: its chunk offsets follow the media data to where it lands.
    std::int64_t shift = 0;
    if (!MediaDataShift(node, &shift)) {
        join.error = "no media data";
        return false;
    }
    const std::uint64_t total = TreeSize(node);
    if (total > kMax32) {
        join.error = "the joined movie would pass 4 GiB";
        return false;
    }
    JoinWriter writer(fd, join, total, shift);
    return writer.Node(node) && writer.Finish();
}

namespace {

// The records of the movie's data file for the join, or none: then hasData is cleared and
// dataLoss tells why.
std::unique_ptr<sMP4MOVIE> JoinedRecords(sMOVIEJOIN& join, const std::string& moviePath) {
    auto data = ReadRecorderMovie(moviePath, join.keepRunning);
    JoinDataLoss loss = JoinDataLoss::kNone;
    if (!data) {
        const std::string dataPath = DataFileOfMovie(moviePath);
        loss = dataPath == moviePath || InspectTarget(dataPath) == TargetKind::kMissing ? JoinDataLoss::kMissing
                                                                                         : JoinDataLoss::kUnreadable;
    } else if (data->recordsCut) {
        // Its records would be written out as a whole data file.
        loss = JoinDataLoss::kCut;
        data.reset();
    }
    if (loss != JoinDataLoss::kNone) {
        join.hasData = false;
        join.dataLoss = loss;
        join.dataLossMovie = moviePath;
    }
    return data;
}

}  // namespace

bool BeginJoin(sMOVIEJOIN& join, const std::string& firstPath) {
    join.error.clear();
    join.firstFront = OpenMovieBoxes(firstPath, true, true, join.progressWindow, &join.error);
    if (!join.firstFront) return false;
    MovieParts parts;
    if (!ReadMovieParts(*join.firstFront, &parts, &join.error)) {
        join.firstFront.reset();
        return false;
    }
    const std::string rear = CompanionFileName(firstPath);
    if (join.hasRear && rear != firstPath)
        join.firstRear = OpenMovieBoxes(rear, true, true, join.progressWindow);
    if (join.firstRear && !ReadMovieParts(*join.firstRear, &parts, nullptr)) join.firstRear.reset();
    join.hasRear = join.hasRear && join.firstRear;
    if (join.hasData) join.firstData = JoinedRecords(join, firstPath);
    return true;
}

bool AppendMovieToJoin(sMOVIEJOIN& join, const std::string& path) {
    join.error.clear();
    if (!join.firstFront) return false;
    auto next = OpenMovieBoxes(path, true, true, join.progressWindow, &join.error);
    if (!next || !JoinMovieBoxes(*join.firstFront, *next, &join.error)) {
        join.error = path + ": " + join.error;
        return false;
    }
    join.nextFront.push_back(std::move(next));

    if (join.hasRear) {
        auto rear = OpenMovieBoxes(CompanionFileName(path), true, true, join.progressWindow);
        join.hasRear = rear && JoinMovieBoxes(*join.firstRear, *rear);
        if (join.hasRear) join.nextRear.push_back(std::move(rear));
    }
    if (join.hasData) {
        auto data = JoinedRecords(join, path);
        if (data) {
            AppendJoinedRecords(join.firstData->records, data->records);
            join.firstData->recordCount = std::uint32_t(join.firstData->records.size());
            join.nextData.push_back(std::move(data));
        }
    }
    return true;
}

std::vector<std::string> JoinOutputParts(const std::string& outputPath) {
    std::vector<std::string> parts{outputPath};
    for (const std::string& part : {CompanionFileName(outputPath), DataFileOfMovie(outputPath)})
        if (std::find(parts.begin(), parts.end(), part) == parts.end()) parts.push_back(part);
    return parts;
}

bool JoinOutputCollides(const sMOVIEJOIN& join, const std::string& outputPath) {
    std::vector<FileStamp> inputs;
    auto addInputs = [&](const std::unique_ptr<sMP4MOVIE>& movie) {
        if (!movie) return;
        const std::string& path = movie->mapping.path;
        for (const std::string& p : {path, CompanionFileName(path), DataFileOfMovie(path)}) {
            FileStamp stamp;
            if (StampOfPath(p, &stamp)) inputs.push_back(stamp);
        }
    };
    addInputs(join.firstFront);
    for (const auto& movie : join.nextFront)
        addInputs(movie);
    for (const std::string& p : JoinOutputParts(outputPath)) {
        FileStamp stamp;
        if (!StampOfPath(p, &stamp)) continue;
        for (const FileStamp& input : inputs)
            if (SameFile(input, stamp)) return true;
    }
    return false;
}

bool WriteJoinedMovie(sMOVIEJOIN& join, const std::string& outputPath) {
    join.error.clear();
    if (!join.firstFront) {
        join.error = "nothing to write";
        return false;
    }
    if (JoinOutputCollides(join, outputPath)) {
        join.error = "the output would replace one of the joined files";
        return false;
    }
    const std::string rearPath = CompanionFileName(outputPath);
    const std::string dataPath = DataFileOfMovie(outputPath);
    const bool rear = join.hasRear && join.firstRear && rearPath != outputPath;
    const bool data = join.hasData && join.firstData && dataPath != outputPath;
    for (const std::string& part : JoinOutputParts(outputPath)) {
        join.error = NotReplaceable(part);
        if (!join.error.empty()) return false;
    }
    // The parts this join does not write go with the older output's: a companion or data
    // file left beside the new movie would be shown with it.
    std::vector<std::string> withdrawn;
    if (!rear && rearPath != outputPath) withdrawn.push_back(rearPath);
    if (!data && dataPath != outputPath) withdrawn.push_back(dataPath);

    // Every part goes to a temporary file first; the parts replace the older output only
    // when all of them were written, and all together (data file and companion before the
    // movie, so that no new movie stands without them).
    ReplacementFile front(outputPath);
    if (!WriteTree(join, *join.firstFront, front)) return false;
    std::unique_ptr<ReplacementFile> rearFile;
    if (rear) {
        rearFile = std::make_unique<ReplacementFile>(rearPath);
        if (!WriteTree(join, *join.firstRear, *rearFile)) return false;
    }
    std::unique_ptr<ReplacementFile> dataFile;
    if (data) {
        dataFile = std::make_unique<ReplacementFile>(dataPath);
        if (!WriteRecorderData(*join.firstData, *dataFile)) {
            join.error = "cannot write the data file " + dataPath;
            return false;
        }
    }
    if (join.keepRunning && !join.keepRunning->load()) {
        join.error = "stopped";
        return false;
    }
    if (!InputsUnchanged(join, &join.error)) return false;
    std::vector<ReplacementFile*> parts;
    for (ReplacementFile* part : {dataFile.get(), rearFile.get(), &front})
        if (part) parts.push_back(part);
    return CommitTogether(parts, withdrawn, &join.error);
}

void FreeJoin(sMOVIEJOIN& join) {
    // The first movies' media data links point into the following movies: free them first.
    join.firstFront.reset();
    join.firstRear.reset();
    join.firstData.reset();
    join.nextFront.clear();
    join.nextRear.clear();
    join.nextData.clear();
}

}  // namespace orv
