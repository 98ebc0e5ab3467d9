// recorder-probe's `events` and `frame` on the demo card, against the plan the card was made
// from (its marks, jolts and the drive's speed), not against the viewer's decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "fixtures/DemoCard.h"
#include "fixtures/DemoDrive.h"
#include "fixtures/DemoPlan.h"
#include "fixtures/TempDir.h"

namespace orv {
namespace {

namespace fs = std::filesystem;
namespace fx = orv::fixtures;

constexpr int kRecordsPerMovie = 250;     // 25 seconds at ten records a second
constexpr double kFrameMs = 1000.0 / 30;  // the demo movies' frame interval
constexpr int kDriveStart = 10 * 3600 + 15 * 60;
constexpr double kGravity = 9.80665;

// The demo card: ORV_DEMO_CARD, else the one tools/demo.sh makes, else one made here.
const std::string& Card() {
    static std::unique_ptr<fx::TempDir> made;
    static const std::string card = [] {
        for (const char* dir : {static_cast<const char*>(std::getenv("ORV_DEMO_CARD")), ORV_DEMO_CARD_DEFAULT})
            if (dir && fs::is_directory(fs::path(dir) / "Video")) return std::string(dir);
        made = std::make_unique<fx::TempDir>();
        std::string error;
        const std::string dir = made->Path() + "/card";
        return fx::MakeDemoCard(dir, false, &error) ? dir : std::string();
    }();
    return card;
}

std::string FrontMovie(const fx::DemoPlannedRecording& rec) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(Card(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        char serial[16];
        std::snprintf(serial, sizeof serial, "%06dM.MOV", rec.serial);
        if (name.rfind(rec.letters + "-", 0) == 0 && name.size() > 10 && name.substr(name.size() - 11) == serial)
            return it->path().string();
    }
    return {};
}

// The lines the probe prints for `args`, run in `folder` (or here when empty).
std::vector<std::string> Probe(const std::string& args, const std::string& folder = {}) {
    std::vector<std::string> lines;
    const std::string command = (folder.empty() ? std::string() : "cd '" + folder + "' && ") + RECORDER_PROBE + " " + args;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return lines;
    char buffer[4096];
    std::string line;
    while (fgets(buffer, sizeof buffer, pipe)) {
        line += buffer;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            lines.push_back(line);
            line.clear();
        }
    }
    pclose(pipe);
    return lines;
}

// The value of `key` in a one-line JSON object of plain members ("" when missing).
std::string Member(const std::string& json, const std::string& key) {
    const std::string tag = "\"" + key + "\":";
    const std::size_t at = json.find(tag);
    if (at == std::string::npos) return {};
    std::size_t from = at + tag.size();
    if (json[from] == '"') return json.substr(from + 1, json.find('"', from + 1) - from - 1);
    return json.substr(from, json.find_first_of(",}", from) - from);
}
int IntMember(const std::string& json, const std::string& key) { return std::atoi(Member(json, key).c_str()); }

// The car's speed in km/h and forward acceleration in g at record k of a driving recording.
double Kmh(const fx::DemoDrive& drive, const fx::DemoPlannedRecording& rec, int k) {
    return drive.At(rec.start + k / 10.0).speed * 3.6;
}

TEST(DemoCardProbe, EventsFollowThePlan) {
    ASSERT_FALSE(Card().empty()) << "no demo card";
    const fx::DemoDrive drive;
    struct Kind {
        char mark;
        int kind, detector;
    };
    const Kind kinds[] = {{'M', 5, 3}, {'A', 12, 9}, {'B', 13, 9}, {'H', 11, 9}, {'R', 10, 8}, {'C', 9, 7}, {'P', 7, 5}};
    int checked = 0;
    for (const fx::DemoPlannedRecording& rec : fx::DemoCardPlan()) {
        if (rec.timeLapse) continue;
        const std::string movie = FrontMovie(rec);
        ASSERT_FALSE(movie.empty()) << rec.letters;
        std::set<std::tuple<int, int, int>> got;  // record, kind, detector
        for (const std::string& line : Probe("events '" + movie + "'")) {
            ASSERT_TRUE(Member(line, "error").empty()) << line;
            got.insert({IntMember(line, "record"), IntMember(line, "kind"), IntMember(line, "detector")});
            EXPECT_NE(IntMember(line, "kind"), 1) << line;
            EXPECT_NE(IntMember(line, "kind"), 4) << line;
        }
        const double base = rec.parked ? 0.0 : rec.start;
        const auto near = [&](int record, int kind, int detector, int slack) {
            for (int r = record - slack; r <= record + slack; ++r)
                if (got.count({r, kind, detector})) return true;
            return false;
        };
        // A mark starts an event at its first record, unless a jolt's axis event owns it.
        for (const fx::DemoPlannedMark& m : rec.marks) {
            const int record = std::max(0, int(std::ceil((m.from - base) * 10.0 - 1e-6)));
            bool jolted = false;
            for (const fx::DemoPlannedJolt& j : rec.jolts) jolted |= std::fabs(j.at - m.from) < 0.8;
            if (record >= kRecordsPerMovie || jolted) continue;
            for (const Kind& k : kinds)
                if (k.mark == m.kind) {
                    EXPECT_TRUE(got.count({record, k.kind, k.detector})) << rec.letters << " mark " << m.kind << " at record " << record;
                    ++checked;
                }
        }
        // A jolt beyond 0.4 g gives the event of its strongest axis.
        for (const fx::DemoPlannedJolt& j : rec.jolts) {
            const double g[3] = {std::fabs(j.gx), std::fabs(j.gy), std::fabs(j.gz)};
            const int axis = g[0] > 0.4 ? 0 : g[1] > 0.4 ? 1 : 2;
            const int record = int(std::lround((j.at - base) * 10.0));
            EXPECT_TRUE(near(record, axis == 0 ? 0 : axis == 1 ? 2 : 3, axis, 1)) << rec.letters << " jolt at " << record;
            ++checked;
        }
        // Speeding: the first record of each stretch above the road's limit.
        if (!rec.parked) {
            bool before = false;
            for (int k = 0; k < kRecordsPerMovie; ++k) {
                const fx::DriveSample s = drive.At(rec.start + k / 10.0);
                const bool speeding = s.speed * 3.6 > s.speedLimitKmh + 0.5;
                if (speeding && !before) {
                    EXPECT_TRUE(got.count({k, 8, 6})) << rec.letters << " speeding from record " << k;
                    ++checked;
                }
                before = speeding;
            }
        }
    }
    EXPECT_GT(checked, 10);
}

TEST(DemoCardProbe, FrameTextsFollowTheDrive) {
    ASSERT_FALSE(Card().empty()) << "no demo card";
    const fx::DemoDrive drive;
    for (const fx::DemoPlannedRecording& rec : fx::DemoCardPlan()) {
        if (rec.letters != "AG__" && rec.letters != "A___") continue;
        const std::string movie = FrontMovie(rec);
        ASSERT_FALSE(movie.empty()) << rec.letters;
        for (const int frame : {0, 150, 420, 700}) {
            const std::vector<std::string> lines = Probe("frame '" + movie + "' " + std::to_string(frame));
            ASSERT_EQ(lines.size(), 1u);
            const std::string& line = lines[0];
            ASSERT_TRUE(Member(line, "error").empty()) << line;
            const int record = IntMember(line, "record");
            EXPECT_NEAR(record, int(frame * kFrameMs / 100.0), 1) << line;

            // The name's start time plus the frame's time.
            const int second = kDriveStart + int(rec.start) + int(frame * kFrameMs / 1000.0);
            char when[32];
            std::snprintf(when, sizeof when, "2024/04/13 %02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
            EXPECT_EQ(Member(line, "date_time"), when) << line;

            // Speed and the speed gauge come from a record a few before the frame's own
            // (the position records lag the sensor records).
            const std::size_t gaugesAt = line.find("\"gauges\"");
            ASSERT_NE(gaugesAt, std::string::npos) << line;
            const std::string gauges = line.substr(gaugesAt);
            bool speedSeen = false, gaugeSeen = false;
            for (int k = std::max(0, record - 6); k <= record; ++k) {
                const long kmh = std::lround(Kmh(drive, rec, k));
                speedSeen |= Member(line, "speed") == std::to_string(kmh) + " ";
                gaugeSeen |= Member(gauges, "speed") == std::to_string(std::min(kmh, 300L));
            }
            EXPECT_TRUE(speedSeen) << line;
            EXPECT_TRUE(gaugeSeen) << line;

            // The front-back G value: the car's acceleration plus road noise and jolts.
            bool jolted = false;
            for (const fx::DemoPlannedJolt& j : rec.jolts) jolted |= std::fabs(rec.start + record / 10.0 - j.at) < 0.7;
            if (!jolted) {
                const double planned = drive.At(rec.start + record / 10.0).accelForward / kGravity;
                EXPECT_NEAR(std::atof(Member(line, "g_x").c_str()), planned, 0.08) << line;
            }
        }
    }
}

// Paths are taken from the folder the probe runs in: each command reads the card as it does
// from absolute paths.
TEST(DemoCardProbe, RelativePathsReadAsAbsoluteOnes) {
    ASSERT_FALSE(Card().empty()) << "no demo card";
    const fs::path card = fs::path(Card()).lexically_normal();
    std::string braking;
    for (const fx::DemoPlannedRecording& rec : fx::DemoCardPlan())
        if (rec.letters == "AG__") braking = FrontMovie(rec);
    ASSERT_FALSE(braking.empty());
    const std::string from = card.parent_path().string();
    const std::string movie = fs::path(braking).lexically_relative(from).string();
    const std::string name = card.filename().string();
    const struct {
        std::string absolute, relative;
    } cases[] = {
        {"movie '" + braking + "'", "movie '" + movie + "'"},
        {"events '" + braking + "'", "events '" + movie + "'"},
        {"frame '" + braking + "' 150", "frame '" + movie + "' 150"},
        {"scan '" + card.string() + "'", "scan '" + name + "'"},
        {"scan '" + card.string() + "'", "scan './" + name + "/'"},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> expected = Probe(c.absolute);
        ASSERT_FALSE(expected.empty()) << c.absolute;
        EXPECT_TRUE(Member(expected[0], "error").empty()) << expected[0];
        EXPECT_EQ(Probe(c.relative, from), expected) << c.relative;
    }
}

}  // namespace
}  // namespace orv
