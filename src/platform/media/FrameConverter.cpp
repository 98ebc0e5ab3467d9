#include "platform/media/FrameConverter.h"

#include <algorithm>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace orv {

namespace {

// Frames from 720 lines up are high definition, whose untagged pictures use BT.709.
constexpr int kHdLines = 720;

int MatrixOf(const AVFrame* frame) {
    switch (frame->colorspace) {
    case AVCOL_SPC_BT709: return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_FCC: return SWS_CS_ITU601;
    case AVCOL_SPC_SMPTE240M: return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL: return SWS_CS_BT2020;
    default: return frame->height >= kHdLines ? SWS_CS_ITU709 : SWS_CS_ITU601;
    }
}

// The full-range "yuvj" formats are the plain formats with full range; the scaler wants the
// plain ones with the range given separately.
AVPixelFormat PlainFormat(AVPixelFormat f, bool* fullRange) {
    switch (f) {
    case AV_PIX_FMT_YUVJ420P: *fullRange = true; return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P: *fullRange = true; return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P: *fullRange = true; return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P: *fullRange = true; return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P: *fullRange = true; return AV_PIX_FMT_YUV411P;
    default: return f;
    }
}

}  // namespace

FrameConverter::~FrameConverter() { sws_freeContext(context_); }

int FrameConverter::ScalerFlags(int fromWidth, int fromHeight, int toWidth, int toHeight) {
    // A picture made smaller for the screen takes the fast bilinear scaler, which costs a
    // fraction of the exact one; at its own size (a snapshot) it is converted exactly.
    const bool smaller = toWidth <= fromWidth && toHeight <= fromHeight && (toWidth < fromWidth || toHeight < fromHeight);
    return smaller ? SWS_FAST_BILINEAR : SWS_BILINEAR;
}

bool FrameConverter::Convert(const AVFrame* frame, std::uint8_t* destination, int pitch, int width, int height) {
    if (!frame || !destination || width <= 0 || height <= 0 || frame->width <= 0 || frame->height <= 0) return false;
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat source = PlainFormat(AVPixelFormat(frame->format), &fullRange);
    if (frame->color_range == AVCOL_RANGE_MPEG) fullRange = false;

    const int key[5] = {frame->width, frame->height, int(source), width, height};
    const bool sameGeometry = std::equal(key, key + 5, key_);
    std::copy(key, key + 5, key_);
    context_ = sws_getCachedContext(context_, frame->width, frame->height, source, width, height, AV_PIX_FMT_RGB32,
                                    ScalerFlags(frame->width, frame->height, width, height), nullptr, nullptr,
                                    nullptr);
    if (!context_) return false;
    const int matrix = MatrixOf(frame);
    if (!sameGeometry || matrix != matrix_ || fullRange != fullRange_) {
        // The output is full-range RGB; brightness 0, contrast and saturation 1.0 (16.16).
        sws_setColorspaceDetails(context_, sws_getCoefficients(matrix), fullRange ? 1 : 0,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
        matrix_ = matrix;
        fullRange_ = fullRange;
    }
    std::uint8_t* planes[4] = {destination, nullptr, nullptr, nullptr};
    int pitches[4] = {pitch, 0, 0, 0};
    return sws_scale(context_, frame->data, frame->linesize, 0, frame->height, planes, pitches) == height;
}

}  // namespace orv
