// Decoding speed of a one-hour recorder data file (36,000 records, ten a second), read
// and decoded by the data loader's path (sMOVIESCANNER::ReadDataFile) N times.
//
//   data-bench [RUNS]   prints one JSON object with the figures.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "fixtures/DataBlockWriter.h"
#include "fixtures/TempDir.h"
#include "platform/base/JsonWriter.h"
#include "recorder/MovieScanner.h"

namespace {

namespace fx = orv::fixtures;

constexpr int kRecordsPerHour = 36000;

// An hour of driving: position, speed, time and G values change from record to record.
fx::DataBlock OneHourBlock() {
    fx::DataBlock block;
    block.records.reserve(kRecordsPerHour);
    for (int k = 0; k < kRecordsPerHour; ++k) {
        fx::RawRecord r;
        const int second = k / 10;
        r.latitude = fx::LatitudeText(35.6 + k * 1e-6);
        r.longitude = fx::LongitudeText(139.7 + k * 1e-6);
        r.speed = fx::SpeedText(40.0 + 20.0 * std::sin(k / 500.0));
        r.dateTime = fx::DateTimeText(2022, 3, 15, 8 + second / 3600, second / 60 % 60, second % 60);
        r.accelX = fx::SignedField(int(300 * std::sin(k / 37.0)), 5);
        r.accelY = fx::SignedField(int(200 * std::cos(k / 53.0)), 5);
        r.accelZ = fx::SignedField(1000 + k % 17, 5);
        r.vehicleValues[0] = std::uint16_t(k % 4000);
        block.records.push_back(r);
    }
    return block;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    fx::TempDir dir;
    const std::string path = dir.Path() + "/A___-220315-080000-000001D.ADA";
    if (dir.Path().empty() || !fx::WriteFileBytes(path, OneHourBlock().Bytes())) {
        std::cerr << "data-bench: cannot write the test file\n";
        return 1;
    }

    orv::sMOVIESCANNER scanner;
    if (!scanner.Init()) return 1;
    std::size_t decoded = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) {
        if (!scanner.ReadDataFile(path)) {
            std::cerr << "data-bench: the file did not decode\n";
            return 1;
        }
        decoded += scanner.gps.size();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    scanner.Term();

    orv::JsonWriter j;
    j.BeginObject();
    j.Key("bench").String("data");
    j.Key("records_per_file").Int(kRecordsPerHour);
    j.Key("runs").Int(runs);
    j.Key("records_decoded").Uint(decoded);
    j.Key("records_per_s").Double(double(decoded) / seconds, 6);
    j.Key("ms_per_hour_file").Double(seconds * 1000.0 / runs, 4);
    j.EndObject();
    std::cout << j.str() << '\n';
    return decoded == std::size_t(kRecordsPerHour) * std::size_t(runs) ? 0 : 1;
}
