// A folder of recordings whose data files carry records that tell them apart: record k
// of recording `serial` has the speed serial x 100 + k km/h. The data files lie beside
// the movies, as they do outside a card's folder layout.
#pragma once

#include <cstdint>
#include <string>

#include "fixtures/CardBuilder.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/TempDir.h"
#include "recorder/BoxBytes.h"

namespace orv::playback_test {

class TestCard {
public:
    // Returns the front movie's path. With `records` below 0 the recording has no data file.
    std::string Add(int serial, int records, const std::string& letters = "A___") {
        fixtures::RecordingSpec params = Spec(serial, letters);
        if (records >= 0) {
            fixtures::DataBlock block;
            for (int k = 0; k < records; ++k) {
                fixtures::RawRecord record;
                record.speed = fixtures::SpeedText(serial * 100 + k);
                block.records.push_back(record);
            }
            params.data = block;
        }
        return card_.AddRecording(params);
    }

    // The data file of a recording added with data.
    std::string DataOf(int serial, const std::string& letters = "A___") const {
        fixtures::RecordingSpec params = Spec(serial, letters);
        params.data = fixtures::DataBlock{};
        return card_.PathsFor(params).data;
    }

    // Makes the front movie a movie of that length: "ftyp", then "moov" with a movie header
    // (time scale 1000) and, with `frames`, a video track whose sample table holds that many
    // frames over the same length; padded past the size that tells an MP4 file.
    static bool SetMovieLength(const std::string& movie, double seconds, std::uint32_t frames = 0) {
        using test::Be32;
        using test::Box;
        using test::Bytes;
        using test::Cat;
        const std::uint32_t ms = std::uint32_t(seconds * 1000.0);
        Bytes moov = Box("mvhd", Cat({Bytes(12, 0), Be32(1000), Be32(ms), Bytes(80, 0)}));
        if (frames > 0) {
            const Bytes mdhd = Box("mdhd", Cat({Bytes(12, 0), Be32(1000), Be32(ms), Bytes(4, 0)}));
            const Bytes hdlr = Box("hdlr", Cat({Bytes(8, 0), test::Text("vide"), Bytes(13, 0)}));
            const Bytes stts = Box("stts", Cat({Bytes(4, 0), Be32(1), Be32(frames), Be32(ms / frames)}));
            const Bytes stbl = Box("stbl", Cat({Box("stsd", Bytes(8, 0)), stts}));
            moov = Cat({moov, Box("trak", Cat({Box("tkhd", Bytes(84, 0)), Box("mdia", Cat({mdhd, hdlr, Box("minf", stbl)}))}))});
        }
        return fixtures::WriteFileBytes(movie, Cat({Box("ftyp", Bytes{'i', 's', 'o', 'm', 0, 0, 2, 0, 'i', 's', 'o', 'm'}),
                                                    Box("moov", moov), Box("free", Bytes(512, 0))}));
    }

    fixtures::CardBuilder& Builder() { return card_; }

private:
    static fixtures::RecordingSpec Spec(int serial, const std::string& letters) {
        fixtures::RecordingSpec params;
        params.layout = -1;
        params.serial = serial;
        params.letters = letters;
        return params;
    }

    fixtures::TempDir dir_;
    fixtures::CardBuilder card_{dir_.Path()};
};

}  // namespace orv::playback_test
