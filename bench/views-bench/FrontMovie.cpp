#include "FrontMovie.h"

#include <filesystem>
#include <mutex>

#include "platform/base/Drives.h"
#include "playback/PlayChannel.h"
#include "recorder/CardLayout.h"
#include "recorder/Mp4Box.h"
#include "recorder/Mp4MovieInfo.h"
#include "recorder/MovieScanner.h"

namespace orv::views_tools {

std::string FindDataFile(const std::string& movie) {
    std::string data = DataFileOfMovie(movie);
    if (sMOVIESCANNER::IsDataFile(data)) return data;
    for (std::filesystem::path root = std::filesystem::path(movie).parent_path(); !root.empty();
         root = root.parent_path()) {
        const std::string rootText = root.string();
        SetDriveRootProvider([rootText](const std::string&) { return rootText; });
        const std::string candidate = DataFileOfMovie(movie);
        SetDriveRootProvider({});
        if (sMOVIESCANNER::IsDataFile(candidate)) return candidate;
        if (root == root.root_path()) break;
    }
    return data;
}

FrontMovieData::FrontMovieData(const std::string& movie) {
    // The frame interval as the player's pre-scan reads it, the frame count from the boxes.
    sMOVIESCANNER scanner;
    if (!scanner.Init()) {
        error_ = "the scanner could not be initialised";
        return;
    }
    float duration = 0.0f;
    if (!scanner.OpenMapping(movie) || !PrescanMovieBoxes(scanner, &duration)) {
        error_ = "the movie's timing cannot be read";
        scanner.Term();
        return;
    }
    scanner.CloseMapping();
    interval_ = scanner.frameInterval;
    std::string why;
    if (auto boxes = OpenMovieBoxes(movie, true, false, 0, &why)) {
        frames_ = GetFrameCount(*boxes);
        FreeMovieBoxes(std::move(boxes));
    }
    if (frames_ <= 0) {
        error_ = "the movie has no frames";
        scanner.Term();
        return;
    }
    const std::string data = FindDataFile(movie);
    if (!sMOVIESCANNER::IsDataFile(data) || !scanner.ReadDataFile(data)) {
        error_ = "the recorder data cannot be read";
        scanner.Term();
        return;
    }
    const std::int64_t frames = frames_;
    scanner.frameInterval = interval_;
    scanner.SetFrameCountSource([frames] { return frames; });
    if (!scanner.BuildFrameTable()) {
        error_ = "no frame table";
        scanner.Term();
        return;
    }
    header_ = scanner.header;
    largestG_ = scanner.largestG;
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    {
        const std::lock_guard<std::recursive_mutex> lock(front.slotLock);
        scanner.MoveTo(front.scanners[kActiveScanner]);
        front.frameInterval = interval_;
        front.initialised = 1;
    }
    scanner.Term();
    loaded_ = true;
}

FrontMovieData::~FrontMovieData() {
    if (!loaded_) return;
    sPLAYCHANNEL& front = g_aPlayChannel[0];
    const std::lock_guard<std::recursive_mutex> lock(front.slotLock);
    front.scanners[kActiveScanner].Reset();
    front.initialised = 0;
}

}  // namespace orv::views_tools
