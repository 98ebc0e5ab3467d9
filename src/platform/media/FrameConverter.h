// Turns a decoded frame into a 32-bit picture (QImage's RGB32 layout) with the colour matrix
// and range the frame is tagged with: BT.709 or BT.601 coefficients, limited (16-235) or
// full range. An untagged frame counts as BT.709 from 720 lines up and BT.601 below, and
// as limited range unless its pixel format is a full-range one.
#pragma once

#include <cstdint>

struct AVFrame;
struct SwsContext;

namespace orv {

class FrameConverter {
public:
    FrameConverter() = default;
    ~FrameConverter();
    FrameConverter(const FrameConverter&) = delete;
    FrameConverter& operator=(const FrameConverter&) = delete;

    // Writes width x height pixels (the frame is scaled when its size differs); false when the
    // frame's format cannot be converted.
    bool Convert(const AVFrame* frame, std::uint8_t* destination, int pitch, int width, int height);

    // The scaler's flags for a picture of one size made at another.
    static int ScalerFlags(int fromWidth, int fromHeight, int toWidth, int toHeight);

private:
    SwsContext* context_ = nullptr;
    // What the context was set up for: source size and format, output size; coefficients
    // and range.
    int key_[5] = {};
    int matrix_ = -1;
    bool fullRange_ = false;
};

}  // namespace orv
