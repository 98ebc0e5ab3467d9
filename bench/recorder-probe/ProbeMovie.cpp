#include "ProbeMovie.h"

#include <memory>
#include <string_view>

#include "ProbeData.h"
#include "platform/base/JsonWriter.h"
#include "recorder/Mp4Box.h"
#include "recorder/Mp4MovieInfo.h"

namespace orv::probe {

namespace {

std::size_t CountBoxes(const sMP4BOX& node) {
    std::size_t n = node.children.size();
    for (const sMP4BOX& child : node.children)
        n += CountBoxes(child);
    return n;
}

// A value the readers give as negative for "none" is written as null.
void IntOrNull(JsonWriter& j, std::string_view key, std::int64_t value) {
    j.Key(key);
    if (value < 0)
        j.Null();
    else
        j.Int(value);
}

void WriteBoxes(const sMP4BOX& node, std::ostream& out) {
    for (const sMP4BOX& child : node.children) {
        JsonWriter j;
        j.BeginObject();
        j.Key("depth").Int(child.depth);
        j.Key("type").String(std::string_view(child.type, kBoxTypeLength));
        j.Key("size").Uint(child.payloadSize);
        j.Key("offset").Uint(child.payloadOffset);
        j.EndObject();
        out << j.str() << '\n';
        WriteBoxes(child, out);
    }
}

// Opens the box tree; none, with the reason, when it cannot be read or holds no box: a
// file without a box of a known type at its start reads as one leaf without children.
std::unique_ptr<sMP4MOVIE> OpenBoxTree(const std::string& file, bool loadPayloads, std::string* error) {
    auto movie = OpenMovieBoxes(file, loadPayloads, false, 0, error);
    if (movie && movie->root.children.empty()) {
        *error = movie->fileSize == 0 ? "the file is empty" : "not an MP4 file: no known box at its start";
        movie.reset();
    }
    if (!movie && error->empty()) *error = "the box tree cannot be read";
    return movie;
}

}  // namespace

void ProbeMovie(const std::vector<std::string>& files, std::ostream& out) {
    for (const std::string& file : files) {
        JsonWriter j;
        j.BeginObject();
        WritePath(j, "file", file);
        if (const std::string problem = FileProblem(file); !problem.empty()) {
            j.Key("error").String(problem).EndObject();
            out << j.str() << '\n';
            continue;
        }
        double duration = 0.0, interval = 0.0;
        std::string timingError, treeError;
        const bool timed = ProbeMovieTiming(file, &duration, &interval, &timingError);
        const auto movie = OpenBoxTree(file, true, &treeError);

        j.Key("mp4").Bool(IsMp4File(file));
        j.Key("duration_s");
        if (timed)
            j.Double(duration);
        else
            j.Null();
        j.Key("frame_interval_ms");
        if (timed)
            j.Double(interval);
        else
            j.Null();
        const SIZE size = movie ? GetVideoSize(*movie) : SIZE{-1, -1};
        IntOrNull(j, "frames", movie ? GetFrameCount(*movie) : -1);
        IntOrNull(j, "width", size.cx);
        IntOrNull(j, "height", size.cy);
        IntOrNull(j, "nodes", movie ? std::int64_t(CountBoxes(movie->root)) : -1);
        if (!movie) j.Key("error").String(treeError);
        if (!timed) j.Key("timing_error").String(timingError);
        j.EndObject();
        out << j.str() << '\n';
    }
}

void ProbeTree(const std::string& file, std::ostream& out) {
    std::string error = FileProblem(file);
    const auto movie = error.empty() ? OpenBoxTree(file, false, &error) : nullptr;
    if (!movie) {
        JsonWriter j;
        j.BeginObject();
        WritePath(j, "file", file);
        j.Key("error").String(error).EndObject();
        out << j.str() << '\n';
        return;
    }
    WriteBoxes(movie->root, out);
}

}  // namespace orv::probe
