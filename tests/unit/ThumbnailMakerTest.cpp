#include "main/CaptureService/ThumbnailMaker.h"
#include "platform/ffmpeg/MovieFrameReader.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QGuiApplication>
#include <QPalette>
#include <QTemporaryDir>

using testmedia::halves;

namespace {

const QSize listBox(92, 54);
const QColor background(10, 200, 220);

// The colours at the points, in order.
QList<QColor> colours(const QImage& image, std::initializer_list<QPoint> points) {
    QList<QColor> found;
    for (const QPoint point : points) {
        found << image.pixelColor(point);
    }
    return found;
}

}  // namespace

TEST(ThumbnailMaker, FittedPicturesAreDrawnUprightAndSharpBetweenBackgroundBands) {
    const QColor red(Qt::red), blue(Qt::blue);
    const QImage wide = ThumbnailMaker::fitted(halves({1000, 500}), listBox, background);
    EXPECT_EQ(
        colours(wide, {{0, 3}, {0, 4}, {1, 26}, {44, 26}, {47, 26}, {90, 26}, {91, 49}, {91, 50}}),
        QList({background, red, red, red, blue, blue, blue, background}));
    // At scale 2 the same box in points takes twice the pixels each way.
    const QImage sharp = ThumbnailMaker::fitted(halves({1000, 500}), listBox, background, 2);
    ASSERT_EQ(sharp.size(), QSize(184, 108));
    EXPECT_EQ(colours(sharp, {{90, 7}, {2, 8}, {88, 99}, {94, 8}, {181, 99}, {90, 100}}),
              QList({background, red, red, blue, blue, background}));
}

TEST(ThumbnailMaker, ScreenshotsAreFittedOnTheWindowColourAndAnythingElseIsThePlaceholder) {
    QTemporaryDir folder;
    ASSERT_TRUE(halves({1000, 500}).save(folder.filePath("shot.png")));
    const QImage shot = ThumbnailMaker::image({1, "screenshot", folder.filePath("shot.png"), {}},
                                              listBox, platform::readMovieFrame);
    EXPECT_EQ(colours(shot, {{45, 1}, {10, 26}, {80, 26}}),
              QList({QGuiApplication::palette().color(QPalette::Window), QColor(Qt::red),
                     QColor(Qt::blue)}));

    // Readers would hang on a pipe, and a picture too large to hold is refused, not held.
    for (const char* name : {"pipe.png", "pipe.mov"}) {
        ASSERT_EQ(mkfifo(QFile::encodeName(folder.filePath(name)).constData(), 0600), 0);
    }
    QImage huge(20000, 20000, QImage::Format_Mono);
    huge.fill(0);
    ASSERT_TRUE(huge.save(folder.filePath("huge.png")));
    for (const auto& [type, name] : {std::pair{"screenshot", "pipe.png"},
                                     {"screenshot", "huge.png"},
                                     {"video", "pipe.mov"},
                                     {"Screenshot", "shot.png"},
                                     {"screenshot ", "shot.png"}}) {
        EXPECT_EQ(ThumbnailMaker::image({1, type, folder.filePath(name), {}}, listBox,
                                        platform::readMovieFrame, background),
                  ThumbnailMaker::placeholder(listBox))
            << type << " " << name;
    }
}
