// The movie-file scanner on a file: the box search with the movie header callback, the
// track box search with the stts callback, the data readers' bound and the joiner's reader,
// and the data tag searches, also over a range shortened by a start offset. The callbacks
// also run on the input itself, as an in-memory window.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/base/ErrorReport.h"
#include "recorder/MovieScanner.h"
#include "recorder/RecorderMovieData.h"

namespace {

// One scratch file for the whole run, rewritten for every input.
const std::string& ScratchFile() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/orv-fuzz-scanner-XXXXXX";
        const int fd = ::mkstemp(pattern.data());
        if (fd >= 0) ::close(fd);
        std::atexit([] { ::unlink(ScratchFile().c_str()); });
        return pattern;
    }();
    return path;
}

bool WriteScratch(const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(ScratchFile().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += std::size_t(n);
    }
    ::close(fd);
    return done == size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        orv::SetErrorReportHook([](const std::string&, const std::string&) {});
        return true;
    }();
    (void)quiet;

    orv::sMOVIESCANNER scanner;
    if (!scanner.Init()) return 0;
    const std::span<const std::uint8_t> bytes(data, size);
    float duration = 0.0f;
    orv::OnMvhdBox(scanner, bytes, &duration);
    orv::OnSttsBox(scanner, bytes, 5.0f);
    std::uint32_t timeScale = 0;
    orv::OnMdhdBox(scanner, bytes, &timeScale);
    orv::SampleTableDuration(bytes, duration, size > 0 ? data[0] * 997u : 0u);

    if (WriteScratch(data, size) && scanner.OpenMapping(ScratchFile())) {
        // The pre-scan, and the bound of the data readers, which walk the box tree alone.
        orv::TrackTiming timing;
        orv::PrescanMovieBoxes(scanner, &duration, &timing);
        orv::MovieRecordLimit(scanner, ScratchFile());
        // The joiner's reader: a name without a camera letter is its own data file, bounded by
        // itself as a movie; it follows a run of filler to its end.
        orv::ReadRecorderMovie(ScratchFile());
        scanner.OpenMapping(ScratchFile());
        scanner.ParseDataFile();
        scanner.FindTag({orv::kEndTag, [](orv::sMOVIESCANNER&, std::span<const std::uint8_t> d) {
                             return orv::ParseRecorderNumber(d.subspan(d.size() < 6 ? d.size() : 6)).has_value();
                         }});
        // The searches again over a range shortened by a start offset that the input picks.
        const std::uint64_t startOffset = size > 0 ? data[size - 1] % 64 : 0;
        const auto any = [](orv::sMOVIESCANNER&, std::span<const std::uint8_t> d) { return d.empty() ? 0 : 1; };
        scanner.FindBox({"udat", any, startOffset});
        scanner.FindTrackBox({"stts", any, startOffset});
        scanner.FindTag({orv::kDataTag, any, startOffset});
    }
    scanner.Term();
    return 0;
}
