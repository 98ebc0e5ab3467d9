// The two cameras' movies of a test card, and which frame of a movie a picture on screen
// shows: ffmpeg's own picture of a frame, and the mean difference of two pictures (0 alike,
// 255 opposite). A picture shows frame n when it is close to ffmpeg's frame n and closer to
// it than to a neighbour.
#pragma once

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <cmath>
#include <string>

#include "fixtures/MovieMaker.h"

namespace orv {

// A front movie of 320 x 180 and its rear companion of 256 x 144 captioned "REAR" (so that
// the one's pictures cannot be taken for the other's), `frames` frames at `fps` each, with
// the frame numbers drawn, and a sound track unless `sound` is false; no rear movie when
// `rear` is empty. False when ffmpeg could not make them.
inline bool MakeCameraMovies(const std::string& front, const std::string& rear, int frames, int fps, bool sound = true) {
    fixtures::MovieSpec movie;
    movie.width = 320;
    movie.height = 180;
    movie.fpsNum = fps;
    movie.seconds = double(frames) / fps;
    movie.audio = sound;
    if (!fixtures::MakeMovie(movie, front, nullptr)) return false;
    if (rear.empty()) return true;
    movie.caption = "REAR";
    movie.width = 256;
    movie.height = 144;
    return fixtures::MakeMovie(movie, rear, nullptr);
}

// ffmpeg's picture of frame `frame` (from 0) of `movie`; null when it could not be made.
inline QImage DecodeMovieFrame(const std::string& movie, int frame) {
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("frame.png"));
    QProcess::execute(QStringLiteral("ffmpeg"),
                      {"-nostdin", "-loglevel", "error", "-i", QString::fromStdString(movie), "-vf",
                       QStringLiteral("select=eq(n\\,%1)").arg(frame), "-frames:v", "1", out});
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

// The mean of the channels' absolute differences; huge for pictures of different sizes.
inline double MeanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) return 1e9;
    const QImage p = a.convertToFormat(QImage::Format_RGB32), q = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            const QRgb s = p.pixel(x, y), t = q.pixel(x, y);
            sum += std::abs(qRed(s) - qRed(t)) + std::abs(qGreen(s) - qGreen(t)) + std::abs(qBlue(s) - qBlue(t));
        }
    return sum / (3.0 * p.width() * p.height());
}

}  // namespace orv
