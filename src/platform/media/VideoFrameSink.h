// Where presented pictures go: a window that shows video registers a sink under its handle,
// and a presenter hands each picture it presents to the sink of its video window, with the
// destination rectangle (client coordinates; empty: the whole client area).
//
// The sink is called on the presenter's thread: it must only keep the picture (a shallow
// QImage copy) and schedule a repaint of its own thread, never block.
#pragma once

#include <functional>

#include <QImage>

#include "platform/base/AppMessage.h"
#include "platform/base/WinTypes.h"

namespace orv {

using VideoFrameSink = std::function<void(const QImage& frame, const RECT& destination)>;
// The window's client size in pixels, asked for on the thread that places the video in the
// window (the window's own thread).
using VideoWindowSize = std::function<SIZE()>;

// Replaces the window's sink (and its size, when the window tells it); an empty sink removes
// both. After this returns, no call of the old sink or size is running or will start.
void SetVideoFrameSink(HWND window, VideoFrameSink sink, VideoWindowSize size = {});

// The client size the window's sink told; false when it has no sink or tells no size.
bool GetVideoWindowSize(HWND window, SIZE* size);

// False when the window has no sink (the picture is dropped).
bool PresentVideoFrame(HWND window, const QImage& frame, const RECT& destination);

}  // namespace orv
