#include "recorder/Mp4Box.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "recorder/BigEndian.h"

namespace orv {

const char kBoxTypes[kBoxTypeCount][kBoxTypeLength + 1] = {
    "ainf", "avcn", "bloc", "bpcc", "buff", "bxml", "ccid", "cdef", "clip", "cmap", "co64", "colr",
    "crgn", "crhd", "cslg", "ctab", "ctts", "cvru", "dinf", "dref", "dsgd", "dstg", "edts", "elst",
    "fdel", "feci", "fecr", "fiin", "fire", "fpar", "free", "frma", "ftyp", "gitn", "grpi", "hdlr",
    "hmhd", "hpix", "icnu", "ID32", "idat", "ihdr", "iinf", "iloc", "imap", "imif", "infe", "infu",
    "iods", "iphd", "ipmc", "ipro", "iref", "jP  ", "jp2c", "jp2h", "jp2i", "kmat", "leva", "load",
    "lrcu", "m7hd", "matt", "mdat", "mdhd", "mdia", "mdri", "meco", "mehd", "mere", "meta", "mfhd",
    "mfra", "mfro", "minf", "mjhd", "moof", "moov", "mvcg", "mvci", "mvex", "mvhd", "mvra", "nmhd",
    "ochd", "odaf", "odda", "odhd", "odhe", "odrb", "odrm", "odtt", "ohdr", "padb", "paen", "pclr",
    "pdin", "pitm", "pnot", "prft", "res ", "resc", "resd", "rinf", "saio", "saiz", "sbgp", "schi",
    "schm", "sdep", "sdhd", "sdtp", "sdvp", "segr", "senc", "sgpd", "sidx", "sinf", "skip", "smhd",
    "srmb", "srmc", "srpp", "ssix", "stbl", "stco", "stdp", "sthd", "strd", "stri", "stsc", "stsd",
    "stsg", "stsh", "stss", "stsz", "stts", "styp", "stz2", "subs", "swtc", "tfad", "tfdt", "tfhd",
    "tfma", "tfra", "tibr", "tiri", "tkhd", "traf", "trak", "tref", "trex", "trgr", "trik", "trun",
    "udta", "uinf", "UITS", "ulst", "url ", "uuid", "vmhd", "vwdi", "xml ", "xml ", "udat", "ICAT",
};

const char kMovieListTypes[MOVIE_LIST_COUNT][kBoxTypeLength + 1] = {
    "mdat", "stsz", "stco", "mdhd", "stss", "stts", "mvhd", "tkhd", "elst", "stsd",
};

// ---- Known box types ----

bool AddBoxTypeToTrie(sBOXTYPENODE* node, const char* type, int depth) {
    for (; depth < kBoxTypeLength; ++depth, ++type) {
        if (!node->children) node->children = std::make_unique<sBOXTYPENODE[]>(kBoxTypeFanOut);
        const auto c = static_cast<std::uint8_t>(*type);
        sBOXTYPENODE* next = nullptr;
        for (int i = 0; i < node->childCount; ++i)
            if (node->children[i].character == c) next = &node->children[i];
        if (!next) {
            if (node->childCount == kBoxTypeFanOut) return false;
            next = &node->children[node->childCount++];
            next->character = c;
        }
        node = next;
    }
    return true;
}

void FreeBoxTypeTrie(sBOXTYPENODE* node) {
    node->children.reset();
    node->childCount = 0;
}

bool BoxTypeKnown(const sBOXTYPENODE* node, const char* type, int depth) {
    for (; depth < kBoxTypeLength; ++depth, ++type) {
        const auto c = static_cast<std::uint8_t>(*type);
        const sBOXTYPENODE* next = nullptr;
        for (int i = 0; i < node->childCount && !next; ++i)
            if (node->children[i].character == c) next = &node->children[i];
        if (!next) return false;
        node = next;
    }
    return true;
}

namespace {

struct KnownTypes {
    std::mutex lock;
    std::atomic<bool> loaded{false};
    sBOXTYPENODE root;
};

KnownTypes& TheKnownTypes() {
    static KnownTypes k;
    return k;
}

std::atomic<std::int64_t> g_nodesAlive{0};
std::atomic<std::int64_t> g_nodeTotal{0};

}  // namespace

void LoadKnownBoxTypes() {
    KnownTypes& k = TheKnownTypes();
    if (k.loaded.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> guard(k.lock);
    if (k.loaded.load(std::memory_order_relaxed)) return;
    for (const char* type : kBoxTypes)
        AddBoxTypeToTrie(&k.root, type, 0);
    k.loaded.store(true, std::memory_order_release);
}

void FreeKnownBoxTypes() {
    KnownTypes& k = TheKnownTypes();
    std::lock_guard<std::mutex> guard(k.lock);
    FreeBoxTypeTrie(&k.root);
    k.loaded.store(false, std::memory_order_release);
}

bool IsKnownBoxType(const char type[kBoxTypeLength]) {
    return BoxTypeKnown(&TheKnownTypes().root, type, 0);
}

// ---- Nodes ----

bool sMP4BOX::IsType(const char t[kBoxTypeLength]) const {
    return std::memcmp(type, t, kBoxTypeLength) == 0;
}

namespace {

constexpr std::uint64_t kMaxSize32 = 0xFFFFFFFFu;

std::uint64_t WithHeader(std::uint64_t payloadSize) {
    return payloadSize + 8 > kMaxSize32 ? payloadSize + 16 : payloadSize + 8;
}

}  // namespace

std::uint64_t ComputeBoxSize(const sMP4BOX& node) {
    if (node.loaded) return WithHeader(node.payloadSize);
    std::uint64_t sum = 0;
    for (const sMP4BOX& child : node.children)
        sum += ComputeBoxSize(child);
    return WithHeader(sum);
}

void CollectBoxesByType(std::vector<sMP4BOX*>& list, sMP4BOX& node, const char* type) {
    if (node.IsType(type)) list.push_back(&node);
    for (sMP4BOX& child : node.children)
        CollectBoxesByType(list, child, type);
}

void FreeBoxTree(sMP4BOX& node) {
    if (node.counted) {
        node.counted = false;
        const std::int64_t alive = --g_nodesAlive;
        if (node.progressWindow) {
            const auto total = static_cast<std::int64_t>(float(g_nodeTotal.load()) * 1.1f);
            const std::int64_t done =
                std::clamp<std::int64_t>(total - alive, 0, std::max<std::int64_t>(total, 0));
            PostAppMessage(node.progressWindow, WM_APP_PROGRESS, WPARAM(done), LPARAM(total));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    for (sMP4BOX& child : node.children)
        FreeBoxTree(child);
    node.children.clear();
    node.payload.reset();
}

std::int64_t BoxNodesAlive() { return g_nodesAlive.load(); }
std::int64_t BoxNodeTotal() { return g_nodeTotal.load(); }

void ClearBoxNodeCounters() {
    g_nodesAlive = 0;
    g_nodeTotal = 0;
}

// ---- Movies ----

const std::uint8_t* MapMovieWindow(sMOVIEMAPPING& mapping, std::uint64_t offset, std::size_t length,
                                   std::size_t* available) {
    *available = 0;
    FileView& file = mapping.file;
    if (offset >= mapping.size) return nullptr;
    const std::uint64_t wanted = std::min<std::uint64_t>(length, mapping.size - offset);
    const bool inWindow = offset >= file.Offset() && offset - file.Offset() + wanted <= file.Size();
    if (!inWindow && !file.MapWindow(offset, std::max(length, kBoxWindowSize))) return nullptr;
    const std::uint64_t skip = offset - file.Offset();
    *available = file.Size() - std::size_t(skip);
    return file.Data() + skip;
}

namespace {

// Reads one movie's tree; the first failure leaves its reason in `error`.
struct BoxReader {
    sMP4MOVIE& movie;
    bool load;
    HWND progressWindow;
    std::string error;
    std::size_t nodes = 0;

    bool Fail(std::string why, std::uint64_t offset) {
        error = std::move(why) + " at offset " + std::to_string(offset);
        return false;
    }

    bool ReadFailed(std::uint64_t offset) {
        const int e = movie.mapping.file.LastError();
        return Fail(
            e ? "read error (" + SystemErrorText(e) + ")" : std::string("file shrank while read"),
            offset);
    }

    // `length` bytes of the file at `offset`, which the caller knows to lie inside it.
    const std::uint8_t* Window(std::uint64_t offset, std::size_t length) {
        std::size_t available = 0;
        const std::uint8_t* p = MapMovieWindow(movie.mapping, offset, length, &available);
        return p && available >= length ? p : nullptr;
    }

    bool CopyPayload(sMP4BOX& node) {
        std::vector<std::uint8_t> bytes;
        try {
            bytes.resize(std::size_t(node.payloadSize));
        } catch (const std::bad_alloc&) {
            return Fail("no memory for a payload of " + std::to_string(node.payloadSize) + " bytes",
                        node.payloadOffset);
        }
        if (node.payloadSize <= kBoxWindowSize) {
            const std::uint8_t* p = Window(node.payloadOffset, bytes.size());
            if (!p && !bytes.empty()) return ReadFailed(node.payloadOffset);
            if (!bytes.empty()) std::memcpy(bytes.data(), p, bytes.size());
        } else if (!movie.mapping.file.ReadAt(node.payloadOffset, bytes.data(), bytes.size())) {
            return ReadFailed(node.payloadOffset);
        }
        node.payload = std::move(bytes);
        return true;
    }

    // Fills a new node. Media data and boxes whose payload does not begin with a box of a
    // known type are leaves; a leaf's payload is copied when loading is on (never the
    // media data's).
    bool InitBoxNode(sMP4BOX& node, const std::uint8_t* type, std::uint64_t payloadSize,
                     std::uint64_t offset, int depth, bool* container) {
        std::memcpy(node.type, type, kBoxTypeLength);
        node.depth = depth;
        node.sourcePath = &movie.mapping.path;
        node.source = &movie.mapping;
        node.payloadSize = node.sourceSize = payloadSize;
        node.payloadOffset = node.sourceOffset = offset;
        node.progressWindow = progressWindow;
        node.counted = true;
        ++g_nodesAlive;
        ++nodes;

        *container = false;
        if (!node.IsType("mdat") && payloadSize >= 8) {
            const std::uint8_t* p = Window(offset, 8);
            if (!p) return ReadFailed(offset);
            *container = IsKnownBoxType(reinterpret_cast<const char*>(p + 4));
        }
        if (*container) return true;
        node.loaded = 1;
        return !load || node.IsType("mdat") || CopyPayload(node);
    }

    // Reads the boxes that fill the parent's payload, `depth` being the parent's depth.
    bool ReadBoxChildren(sMP4BOX& parent, int depth) {
        const std::uint64_t end = parent.payloadOffset + parent.payloadSize;
        std::uint64_t pos = parent.payloadOffset;
        while (pos < end) {
            const std::uint64_t left = end - pos;
            // Fewer than 8 bytes cannot hold a box; like a box of an unknown type, they end
            // the parent's boxes and the parent counts as a leaf.
            const std::uint8_t* h =
                left >= 8 ? Window(pos, std::size_t(std::min<std::uint64_t>(left, 16))) : nullptr;
            if (left >= 8 && !h) return ReadFailed(pos);
            if (!h || !IsKnownBoxType(reinterpret_cast<const char*>(h + 4))) {
                parent.loaded = 1;
                return true;
            }
            std::uint64_t size = ReadBe32(h);
            std::uint64_t header = 8;
            if (size == 1) {
                if (left < 16) return Fail("64-bit box size cut off", pos);
                size = ReadBe64(h + 8);
                header = 16;
            } else if (size == 0) {
                // "To the end of the file" is only meaningful for a box of the file itself.
                if (depth != 0) return Fail("box size 0 inside a box", pos);
                size = left;
            }
            if (size < header)
                return Fail("box size " + std::to_string(size) + " smaller than its header", pos);
            if (size > left)
                return Fail("box size " + std::to_string(size) + " runs past " +
                                (depth == 0 ? std::string("the end of the file") : "its parent"),
                            pos);
            if (depth + 1 > kMaxBoxDepth) return Fail("boxes nested too deep", pos);
            if (nodes >= kMaxBoxNodes) return Fail("too many boxes", pos);

            sMP4BOX child;
            bool container = false;
            bool ok = InitBoxNode(child, h + 4, size - header, pos + header, depth + 1, &container);
            if (ok && container) ok = ReadBoxChildren(child, depth + 1);
            if (!ok) {
                FreeBoxTree(child);
                return false;
            }
            parent.children.push_back(std::move(child));
            pos += size;
        }
        return true;
    }
};

}  // namespace

sMP4MOVIE::~sMP4MOVIE() { FreeBoxTree(root); }

std::unique_ptr<sMP4MOVIE> OpenMovieBoxes(const std::string& path, bool loadPayloads, bool progress,
                                          HWND progressWindow, std::string* error) {
    LoadKnownBoxTypes();
    auto movie = std::make_unique<sMP4MOVIE>();
    sMOVIEMAPPING& mapping = movie->mapping;
    if (!mapping.file.Open(path)) {
        if (error) *error = SystemErrorText(mapping.file.LastError());
        return nullptr;
    }
    mapping.path = path;
    mapping.size = movie->fileSize = mapping.file.FileSize();
    movie->progressWindow = progress ? progressWindow : 0;

    sMP4BOX& root = movie->root;
    root.sourcePath = &mapping.path;
    root.source = &mapping;
    root.payloadSize = root.sourceSize = mapping.size;
    root.progressWindow = movie->progressWindow;

    BoxReader reader{*movie, loadPayloads, movie->progressWindow, {}};
    if (!reader.ReadBoxChildren(root, 0)) {
        if (error) *error = reader.error;
        return nullptr;
    }
    g_nodeTotal = g_nodesAlive.load();
    for (int i = 0; i < MOVIE_LIST_COUNT; ++i) {
        movie->lists[i].clear();
        CollectBoxesByType(movie->lists[i], root, kMovieListTypes[i]);
    }
    return movie;
}

void FreeMovieBoxes(std::unique_ptr<sMP4MOVIE> movie) { movie.reset(); }

}  // namespace orv
