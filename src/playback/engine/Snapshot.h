// Saving the picture of a channel as a JPEG file at the movie's native size.
#pragma once

#include <string>

#include <QImage>

#include "platform/media/MediaFoundation.h"
#include "playback/engine/RendererBlock.h"

namespace orv {

// The quality the JPEG encoder is given, 0..100.
constexpr int kSnapshotQuality = 95;

// The picture of a frame grab: 32-bit pixels (bytes B, G, R, unused), rows bottom-up, of
// the native width x height. A grab that says it is smaller (a size of 0 included), or
// describes another picture, gives a null image.
QImage ImageFromGrab(const BYTE* dib, DWORD dibSize, const BITMAPINFOHEADER& header, int width, int height);

// Grabs the picture the presenter shows (also on a channel without a window) and writes
// it to the path as a JPEG file, put in place whole (ReplacementFile): a regular file of
// that name is replaced, anything else there (a link, FIFO, device) is refused. 1 saved,
// 0 failed (no movie ready, no picture, the file could not be written or placed).
int SaveSnapshot(const sRENDERERBLOCK& renderer, const std::string& path);

}  // namespace orv
