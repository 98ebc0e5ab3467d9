// A folder of recordings whose data files carry records that tell them apart: record k
// of recording `serial` has the speed serial x 100 + k km/h. The data files lie beside
// the movies, as they do outside a card's folder layout.
#pragma once

#include <string>

#include "fixtures/CardBuilder.h"
#include "fixtures/DataBlockWriter.h"
#include "fixtures/TempDir.h"

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
