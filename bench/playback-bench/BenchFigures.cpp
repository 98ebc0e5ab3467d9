#include "BenchFigures.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>

namespace orv::bench {

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5))];
}

bool IsRegularFile(const std::string& path, std::string* why) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        *why = "cannot be read";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = S_ISDIR(st.st_mode) ? "is a folder, not a regular file" : "is not a regular file";
        return false;
    }
    return true;
}

void WriteFfmpegFigures(JsonWriter& j, const DecodeCost& decode, const DecodeCost& decodeBgra,
                        const std::string& error) {
    if (error.empty()) {
        j.Key("ffmpeg_decode_ms_per_frame").Double(decode.MsPerFrame(), 4);
        j.Key("ffmpeg_decode_bgra_ms_per_frame").Double(decodeBgra.MsPerFrame(), 4);
        return;
    }
    j.Key("ffmpeg_decode_ms_per_frame").Null();
    j.Key("ffmpeg_decode_bgra_ms_per_frame").Null();
    // The end of what ffmpeg said: its last line names the failure.
    const std::size_t cut = error.size() > 300 ? error.size() - 300 : 0;
    j.Key("ffmpeg_error").String(error.substr(cut));
}

}  // namespace orv::bench
