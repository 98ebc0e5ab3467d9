// What the benchmarks that open a card share: the generated card, the reference run of
// `find` over the same tree, medians, the JSON of a set of times, and the count arguments.
#pragma once

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fixtures/CardBuilder.h"
#include "platform/base/JsonWriter.h"

namespace orv::bench {

// A card of layout 0: stretches of 80 driving recordings (every tenth an impact) and 20
// parking recordings, a minute apart, each with its rear companion and a data file of a
// minute of records.
inline bool MakeCard(fixtures::CardBuilder& card, int recordings) {
    if (!card.MakeLayoutFolders(0)) return false;
    fixtures::DataBlock data;
    data.records.resize(60);
    for (int i = 0; i < recordings; ++i) {
        fixtures::RecordingSpec params;
        params.layout = 0;
        params.letters = i % 100 >= 80 ? "P___" : i % 10 == 3 ? "AG__" : "A___";
        params.serial = i + 1;
        char time[8];
        std::snprintf(time, sizeof time, "%02d%02d00", (i / 60) % 24, i % 60);
        params.time = time;
        params.data = data;
        if (card.AddRecording(params).empty()) return false;
    }
    return true;
}

// Runs `find DIR -printf '%s %p\n'` and reads all it prints: the line count, or nothing when
// find could not be run. `ms` gets the wall time of the whole run.
inline std::optional<std::size_t> RunFind(const std::string& root, double& ms) {
    // The path comes from mkdtemp and the card's own names: no quote can occur in it.
    const std::string command = "find '" + root + "' -printf '%s %p\\n'";
    const auto start = std::chrono::steady_clock::now();
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    char buffer[1 << 16];
    std::size_t lines = 0;
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        lines += std::size_t(std::count(buffer, buffer + n, '\n'));
    const int status = ::pclose(pipe);
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (status != 0) return std::nullopt;
    return lines;
}

inline double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// {"min": ..., "median": ...} under `key`.
inline void WriteTimes(JsonWriter& j, const char* key, const std::vector<double>& ms) {
    j.Key(key).BeginObject();
    j.Key("min").Double(ms.empty() ? 0 : *std::min_element(ms.begin(), ms.end()), 4);
    j.Key("median").Double(Median(ms), 4);
    j.EndObject();
}

// A count argument of 1 to 100,000.
inline bool ParseCount(const char* text, int& out) {
    const char* end = text + std::strlen(text);
    int v = 0;
    const auto [at, ec] = std::from_chars(text, end, v);
    if (ec != std::errc() || at != end || v < 1 || v > 100000) return false;
    out = v;
    return true;
}

}  // namespace orv::bench
