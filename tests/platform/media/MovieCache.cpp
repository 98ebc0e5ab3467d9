#include "MovieCache.h"

#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <tuple>

#include "fixtures/TempDir.h"

namespace orv::mediatest {

namespace {

fixtures::TempDir& Folder() {
    static fixtures::TempDir dir;
    return dir;
}

}  // namespace

std::string TempPath(const std::string& name) { return Folder().Path() + "/" + name; }

std::string StripeMoviePath(const StripeMovieSpec& s) {
    static std::mutex mutex;
    static std::map<std::tuple<int, int, int, int, int, int, bool, bool, bool, bool, bool>, std::string> made;
    const auto key = std::make_tuple(s.width, s.height, s.fpsNum, s.fpsDen, s.frames, s.gop, s.audio, s.timecode,
                                     s.subtitle, s.moovFirst, s.disposableB);
    std::lock_guard lock(mutex);
    if (auto it = made.find(key); it != made.end()) return it->second;
    const std::string path = TempPath("stripes" + std::to_string(made.size()) + ".mp4");
    std::string error;
    if (!MakeStripeMovie(s, path, &error)) return {};
    made.emplace(key, path);
    return path;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool EmptyVideoTrack(const std::string& from, const std::string& to) {
    std::string bytes = ReadAll(from);
    const std::size_t video = bytes.find("vmhd", bytes.find("moov"));
    if (video == std::string::npos) return false;
    // Behind each type: 4 bytes of version and flags, then the count (stsz: sample size first).
    for (const auto& [type, countAt] : {std::pair{"stts", 8}, {"stss", 8}, {"stsc", 8}, {"stsz", 12}, {"stco", 8}}) {
        const std::size_t at = bytes.find(type, video);
        if (at == std::string::npos) continue;  // stss is missing when every frame is a key frame
        bytes.replace(at + 4, std::size_t(countAt), std::size_t(countAt), '\0');
    }
    std::ofstream out(to, std::ios::binary);
    out << bytes;
    return bool(out);
}

bool SpoilCodec(const std::string& from, const std::string& to, const char (&entry)[5], const char (&config)[5]) {
    std::string bytes = ReadAll(from);
    const std::size_t moov = bytes.find("moov");
    const std::size_t at = moov == std::string::npos ? moov : bytes.find(entry, moov);
    const std::size_t description = at == std::string::npos ? at : bytes.find(config, at);
    if (description == std::string::npos) return false;
    bytes.replace(at, 4, "qzx9");
    bytes.replace(description, 4, "qzx8");
    std::ofstream out(to, std::ios::binary);
    out << bytes;
    return bool(out);
}

}  // namespace orv::mediatest
