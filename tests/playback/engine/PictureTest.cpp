// The view, the overlay text, the snapshot and the two channels following each other,
// through the table's slots.
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include <unistd.h>

#include <QImage>
#include <QImageReader>

#include "ChannelOpsFixture.h"
#include "MovieCache.h"
#include "StripeMovie.h"
#include "playback/ChannelFacade.h"
#include "playback/engine/Snapshot.h"

namespace orv::enginetest {
namespace {

using mediatest::ReadStripeNumber;
using mediatest::StripeMoviePath;
using mediatest::StripeMovieSpec;
using mediatest::TempPath;

StripeMovieSpec Stripes(int width, int height, int fps, int frames) {
    StripeMovieSpec params;
    params.width = width;
    params.height = height;
    params.fpsNum = fps;
    params.frames = frames;
    return params;
}

TEST(Snapshot, AGrabIsReadOnlyAsFarAsItsSizeSays) {
    // 2 x 2, rows bottom-up: the bottom row blue, white; the top row red, green.
    const BYTE dib[16] = {0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0};
    const QImage picture = ImageFromGrab(dib, sizeof dib, BITMAPINFOHEADER{}, 2, 2);
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(picture.pixel(1, 0), qRgb(0, 255, 0));
    EXPECT_EQ(picture.pixel(0, 1), qRgb(0, 0, 255));
    EXPECT_EQ(picture.pixel(1, 1), qRgb(255, 255, 255));
    // A grab that does not say its size, or says less than the picture needs, is not read.
    EXPECT_TRUE(ImageFromGrab(dib, 0, BITMAPINFOHEADER{}, 2, 2).isNull());
    EXPECT_TRUE(ImageFromGrab(dib, sizeof dib - 1, BITMAPINFOHEADER{}, 2, 2).isNull());
}

// The destination the display control was given last.
RECT Destination(CPlayer* player) {
    MFVideoNormalizedRect source;
    RECT destination{-1, -1, -1, -1};
    if (auto display = player->DisplayControl()) display->GetVideoPosition(&source, &destination);
    return destination;
}

TEST_F(ChannelOpsTest, ViewZoomsAboutItsCentreAndShifts) {
    client_ = RECT{0, 0, 800, 600};
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Stripes(320, 240, 30, 90))));
    const ComPtr<CPlayer> player = Player(0);
    ASSERT_EQ(Slots(0).SetKeepAspect(Channel(0), 0), 1);

    EXPECT_EQ(Slots(0).SetView(Channel(0), 200, 150, 0, 0, 2.0f, 1), 1);
    EXPECT_EQ(Channel(0).videoRect, (RECT{-200, -150, 1400, 1050}));
    EXPECT_EQ(Destination(player.Get()), (RECT{-200, -150, 1400, 1050}));

    EXPECT_EQ(Slots(0).SetView(Channel(0), 400, 300, 30, -20, 2.0f, 0), 1);
    EXPECT_EQ(Destination(player.Get()), (RECT{-370, -320, 1230, 880}));
    EXPECT_EQ(Channel(0).zoomCentreX, 400);
    EXPECT_EQ(Channel(0).viewOffsetY, -20);

    // A zoom of 0 draws nothing and leaves the picture where it was.
    EXPECT_EQ(Slots(0).SetView(Channel(0), 400, 300, 0, 0, 0.0f, 1), 0);
    EXPECT_EQ(Destination(player.Get()), (RECT{-370, -320, 1230, 880}));
    // So does a window without a client area.
    client_ = RECT{0, 0, 0, 0};
    EXPECT_EQ(Slots(0).SetView(Channel(0), 0, 0, 0, 0, 1.0f, 1), 0);
    EXPECT_EQ(Destination(player.Get()), (RECT{-370, -320, 1230, 880}));
}

TEST_F(ChannelOpsTest, KeepAspectLetterboxesAndStretchFillsTheWindow) {
    client_ = RECT{0, 0, 800, 600};
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Stripes(640, 360, 30, 90))));
    const ComPtr<CPlayer> player = Player(0);
    ASSERT_EQ(Channel(0).keepAspect, 1);
    EXPECT_EQ(Slots(0).SetView(Channel(0), 400, 300, 0, 0, 1.0f, 1), 1);
    EXPECT_EQ(Destination(player.Get()), (RECT{0, 75, 800, 526}));
    EXPECT_EQ(Channel(0).videoRect, (RECT{0, 0, 800, 600}));  // before the fit

    EXPECT_EQ(Slots(0).SetKeepAspect(Channel(0), 0), 1);
    EXPECT_EQ(Channel(0).keepAspect, 0);
    EXPECT_EQ(Destination(player.Get()), (RECT{0, 0, 800, 600}));
    DWORD mode = 99;
    player->DisplayControl()->GetAspectRatioMode(&mode);
    EXPECT_EQ(mode, DWORD(MFVideoARMode_None));

    // A keep-aspect that cannot be applied is not stored.
    Channel(0).zoomFactor = 0.0f;
    EXPECT_EQ(Slots(0).SetKeepAspect(Channel(0), 1), 0);
    EXPECT_EQ(Channel(0).keepAspect, 0);

    // The rear channel has no window: no view (none is kept), no overlay.
    ASSERT_TRUE(OpenReady(1, StripeMoviePath(Stripes(640, 360, 30, 90))));
    EXPECT_EQ(Slots(1).SetView(Channel(1), 7, 8, 9, 10, 3.0f, 1), 0);
    EXPECT_EQ(Channel(1).zoomCentreX, 0);
    EXPECT_EQ(Channel(1).viewOffsetY, 0);
    EXPECT_EQ(Channel(1).zoomFactor, 1.0f);
    EXPECT_EQ(Slots(1).ShowOverlayText(Channel(1), "x"), 0);
}

TEST_F(ChannelOpsTest, OverlayLiesInTheBottomRightCornerAndItsBlackIsTransparent) {
    // 640 x 360 in 320 x 240: the factors are 0.5 and 2/3, as 1920 x 1080 in 960 x 720.
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Stripes(640, 360, 30, 90))));
    const ComPtr<CPlayer> player = Player(0);
    ComPtr<IMFVideoMixerBitmap> mixer = player->MixerBitmap();
    ASSERT_TRUE(mixer);

    ASSERT_EQ(Slots(0).SetKeepAspect(Channel(0), 0), 1);
    ASSERT_EQ(Slots(0).ShowOverlayText(Channel(0), "12:34"), 1);
    MFVideoAlphaBitmapParams params;
    ASSERT_EQ(mixer->GetAlphaBitmapParameters(&params), S_OK);
    EXPECT_FLOAT_EQ(params.nrcDest.left, 1.0f - 150.0f / 320.0f);  // 150 x 60 window pixels
    EXPECT_FLOAT_EQ(params.nrcDest.top, 1.0f - 60.0f / 240.0f);
    EXPECT_FLOAT_EQ(params.nrcDest.right, 1.0f);
    EXPECT_FLOAT_EQ(params.nrcDest.bottom, 1.0f);
    EXPECT_EQ(params.clrSrcKey, RGB(0, 0, 0));
    EXPECT_TRUE(params.dwFlags & MFVideoAlphaBitmap_SrcColorKey);
    EXPECT_FLOAT_EQ(params.fAlpha, 1.0f);

    ASSERT_EQ(Slots(0).SetKeepAspect(Channel(0), 1), 1);
    ASSERT_EQ(Slots(0).ShowOverlayText(Channel(0), "12:34"), 1);
    ASSERT_EQ(mixer->GetAlphaBitmapParameters(&params), S_OK);
    EXPECT_FLOAT_EQ(params.nrcDest.left, 1.0f - 150.0f / 320.0f);  // 150 x 80 window pixels
    EXPECT_FLOAT_EQ(params.nrcDest.top, 1.0f - 80.0f / 240.0f);

    // The next picture carries green text inside that corner and nothing green elsewhere.
    ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), 12), 1);
    ASSERT_TRUE(surface_.WaitForNumber(12));
    const QImage picture = surface_.LastPicture().convertToFormat(QImage::Format_RGB32);
    const int left = int(std::lround(params.nrcDest.left * 640)), top = int(std::lround(params.nrcDest.top * 360));
    int inside = 0, outside = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb p = picture.pixel(x, y);
            const bool green = qGreen(p) > 200 && qRed(p) < 60 && qBlue(p) < 60;
            if (!green) continue;
            (x >= left - 1 && y >= top - 1 ? inside : outside) += 1;
        }
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);
    // The stripes under the transparent black still show.
    EXPECT_EQ(ReadStripeNumber(picture), 12);

    EXPECT_EQ(Slots(0).ClearOverlay(Channel(0)), 1);
    EXPECT_EQ(mixer->GetAlphaBitmapParameters(&params), MF_E_NOT_INITIALIZED);
}

// Mean difference per colour byte of two pictures of one size.
double MeanDifference(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * x.width() * x.height());
}

TEST_F(ChannelOpsTest, SnapshotIsThePictureOnScreenAtTheMoviesOwnSize) {
    client_ = RECT{0, 0, 800, 600};  // the window's size does not matter
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Stripes(320, 240, 30, 90))));
    ASSERT_EQ(Slots(0).SetView(Channel(0), 400, 300, 0, 0, 2.0f, 1), 1);
    ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), 37), 1);
    ASSERT_TRUE(surface_.WaitForNumber(37));

    const std::string path = TempPath("snapshot-front.jpg");
    ASSERT_EQ(Slots(0).SaveSnapshot(Channel(0), path), 1);
    QImageReader reader(QString::fromStdString(path));
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage saved = reader.read();
    ASSERT_EQ(saved.size(), QSize(320, 240));
    EXPECT_EQ(ReadStripeNumber(saved), 37);
    const QImage shown = surface_.LastPicture();
    ASSERT_EQ(shown.size(), saved.size());
    EXPECT_LT(MeanDifference(saved, shown), 4.0);  // what JPEG changes

    EXPECT_EQ(Slots(0).SaveSnapshot(Channel(0), TempPath("no-such-folder/x.jpg")), 0);
    // A link of the picture's name is neither written through nor replaced.
    const std::string link = TempPath("snapshot-link.jpg");
    std::filesystem::remove(link);
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    const QImage before(QString::fromStdString(path));
    EXPECT_EQ(Slots(0).SaveSnapshot(Channel(0), link), 0);
    EXPECT_EQ(QImage(QString::fromStdString(path)), before);
    EXPECT_EQ(std::filesystem::read_symlink(link), path);
    Slots(0).CloseMovie(Channel(0));
    EXPECT_EQ(Slots(0).SaveSnapshot(Channel(0), path), 0);
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(ChannelOpsTest, PicturesTakeTheShownSizeAndTheSnapshotStaysNativeAndExact) {
    surface_.TellSize([this] { return SIZE{client_.Width(), client_.Height()}; });
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Stripes(320, 240, 30, 90))));
    const ComPtr<CPlayer> player = Player(0);
    ASSERT_EQ(Slots(0).SetView(Channel(0), 160, 120, 0, 0, 1.0f, 1), 1);
    ASSERT_EQ(Slots(0).SeekToFrame(Channel(0), 37), 1);
    ASSERT_TRUE(surface_.WaitForNumber(37));

    // Shown at the movie's own size, the snapshot is the picture on screen.
    const std::string first = TempPath("snapshot-native.jpg");
    ASSERT_EQ(Slots(0).SaveSnapshot(Channel(0), first), 1);
    const QImage saved(QString::fromStdString(first));
    ASSERT_EQ(saved.size(), QSize(320, 240));
    EXPECT_LT(MeanDifference(saved, surface_.LastPicture()), 4.0);
    const std::string native = FileBytes(first);

    struct Case {
        const char* name;
        RECT client;
        int centreX, centreY;
        float zoom;
    };
    const Case cases[] = {
        {"larger window", {0, 0, 800, 600}, 400, 300, 1.0f},
        {"pillarbox", {0, 0, 640, 360}, 320, 180, 1.0f},
        {"zoomed twice", {0, 0, 800, 600}, 400, 300, 2.0f},
        {"zoomed three times off centre", {0, 0, 640, 480}, 100, 400, 3.0f},
        {"smaller window", {0, 0, 200, 150}, 100, 75, 1.0f},
    };
    for (const Case& c : cases) {
        client_ = c.client;
        ASSERT_EQ(Slots(0).SetView(Channel(0), c.centreX, c.centreY, 0, 0, c.zoom, 1), 1) << c.name;
        // The picture fills the part of the destination inside the window, pixel for pixel.
        const RECT d = Destination(player.Get());
        const RECT shown{std::max(d.left, 0), std::max(d.top, 0), std::min(d.right, c.client.right),
                         std::min(d.bottom, c.client.bottom)};
        // (Its width made even: the window shows the part it has room for.)
        ASSERT_TRUE(surface_.WaitForShown(QSize((shown.Width() + 1) & ~1, shown.Height()), shown)) << c.name;
        if (c.zoom == 1.0f) {
            EXPECT_EQ(ReadStripeNumber(surface_.LastPicture()), 37) << c.name;
        }

        // The snapshot is made from the decoded frame: the same file whatever is shown.
        const std::string path = TempPath("snapshot-shown.jpg");
        ASSERT_EQ(Slots(0).SaveSnapshot(Channel(0), path), 1) << c.name;
        EXPECT_EQ(QImage(QString::fromStdString(path)).size(), QSize(320, 240)) << c.name;
        EXPECT_TRUE(FileBytes(path) == native) << c.name;
    }
}

TEST_F(ChannelOpsTest, TheRearFollowsTheFrontThroughSeeksWithoutAWindow) {
    ASSERT_TRUE(OpenReady(0, StripeMoviePath(Stripes(320, 240, 30, 90))));
    ASSERT_TRUE(OpenReady(1, StripeMoviePath(Stripes(160, 120, 15, 45))));
    int width = 0, height = 0;
    ASSERT_EQ(Slots(1).GetVideoSize(Channel(1), &width, &height), 1);
    EXPECT_EQ(width, 160);
    EXPECT_EQ(height, 120);

    for (int frame : {20, 4, 64, 88, 0}) {
        ASSERT_EQ(SeekChannelsToFrame(frame), 1);
        ASSERT_TRUE(surface_.WaitForNumber(frame)) << frame;
        EXPECT_EQ(Slots(0).GetCurrentFrame(Channel(0)), frame);
        const int rear = frame / 2;  // half the frame rate
        // The rear's picture, grabbed as the snapshot does; its seek goes on on its own, and
        // until its first picture there is nothing to save.
        const std::string path = TempPath("snapshot-rear.jpg");
        QImage saved;
        int result = 0;
        const auto until = std::chrono::steady_clock::now() + 10s;
        for (;;) {
            result = Slots(1).SaveSnapshot(Channel(1), path);
            saved = result == 1 ? QImage(QString::fromStdString(path)) : QImage();
            if (ReadStripeNumber(saved) == rear || std::chrono::steady_clock::now() > until) break;
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_EQ(result, 1) << frame;
        EXPECT_EQ(saved.size(), QSize(160, 120));
        EXPECT_EQ(ReadStripeNumber(saved), rear) << frame;
        EXPECT_EQ(Slots(1).GetCurrentFrame(Channel(1)), rear);
    }
}

}  // namespace
}  // namespace orv::enginetest
