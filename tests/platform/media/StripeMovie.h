// Movies whose pictures can be read back exactly, made by piping raw frames into the ffmpeg
// command and encoding them losslessly (H.264 at quantiser 0, key frames every few frames).
// The encoder makes no B-frames when it codes losslessly; `disposableB` asks for B-frames that
// no other frame refers to, coded near-losslessly, so that pictures are decoded out of order
// and a decoder may skip some.
//
// Stripe movies carry their frame number in the picture: 16 vertical bands, bands 0..11 the
// number's bits (band 0 the highest; white 1, black 0), bands 12..15 the four low bits of
// the count of set bits, as a check. Colour movies show flat bars of given YCbCr values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <QImage>

namespace orv::mediatest {

struct StripeMovieSpec {
    int width = 320;
    int height = 240;
    int fpsNum = 30;
    int fpsDen = 1;
    int frames = 60;        // at most 4096
    int gop = 12;           // frames from one key frame to the next
    bool audio = false;     // a 440 Hz tone, AAC, as long as the video
    bool timecode = false;  // a timecode track ("tmcd", a data stream)
    bool subtitle = false;  // a subtitle track (mov_text)
    bool moovFirst = true;  // the index before the media data (playable from a pipe)
    bool disposableB = false;  // B-frames that no other frame refers to (a decoder may skip them)
};

bool MakeStripeMovie(const StripeMovieSpec& params, const std::string& path, std::string* error);

// The small pair the open/play/seek/close loops use: a 160x120 front movie of 3 s at 30 fps
// with sound, and its silent companion at half the frame rate.
struct StripeMoviePair {
    StripeMovieSpec front;
    StripeMovieSpec companion;
};
StripeMoviePair SmallFrontAndHalfRateCompanion();

// The frame number a picture shows, or -1 when it shows none.
int ReadStripeNumber(const QImage& picture);

// One flat bar: luma and chroma as stored, 8 bits.
struct YuvBar {
    std::uint8_t y, cb, cr;
};

// Bars side by side across a 2-frame movie, tagged with the matrix ("bt709", "smpte170m" or
// "" for none) and range ("tv", "pc" or "" for none).
bool MakeColourMovie(int width, int height, const std::vector<YuvBar>& bars, const std::string& matrix,
                     const std::string& range, const std::string& path, std::string* error);

// Runs the ffmpeg command with the arguments (no shell), feeding it `input` on stdin; its
// exit status, -1 when it could not be run.
int RunFfmpeg(const std::vector<std::string>& args, const std::vector<std::uint8_t>& input, std::string* error);

}  // namespace orv::mediatest
