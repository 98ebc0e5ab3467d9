#include "MovieCache.h"

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
    static std::map<std::tuple<int, int, int, int, int, int, bool, bool, bool, bool>, std::string> made;
    const auto key = std::make_tuple(s.width, s.height, s.fpsNum, s.fpsDen, s.frames, s.gop, s.audio, s.timecode,
                                     s.subtitle, s.moovFirst);
    std::lock_guard lock(mutex);
    if (auto it = made.find(key); it != made.end()) return it->second;
    const std::string path = TempPath("stripes" + std::to_string(made.size()) + ".mp4");
    std::string error;
    if (!MakeStripeMovie(s, path, &error)) return {};
    made.emplace(key, path);
    return path;
}

}  // namespace orv::mediatest
