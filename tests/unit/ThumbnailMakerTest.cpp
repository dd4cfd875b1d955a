#include "main/CaptureService/ThumbnailMaker.h"

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
const QColor red(Qt::red), blue(Qt::blue), white(Qt::white), grey(ThumbnailMaker::placeholderColor);

// Expects each listed point of the image to have the colour.
void expectColour(const QImage& image, const QColor& colour, std::initializer_list<QPoint> points) {
    for (const QPoint p : points) {
        EXPECT_EQ(image.pixelColor(p), colour) << p.x() << "," << p.y();
    }
}

}  // namespace

TEST(ThumbnailMaker, FitScalesByTheSmallerRatioAndCentres) {
    for (const auto& [picture, scale, rect] :
         {std::tuple{QSizeF(1000, 500), 0.092, QRectF(0, 4, 92, 46)},
          {QSizeF(100, 300), 0.18, QRectF(37, 0, 18, 54)},
          {QSizeF(20, 10), 4.6, QRectF(0, 4, 92, 46)}}) {
        const auto fit = ThumbnailMaker::fit(picture, listBox);
        EXPECT_NEAR(fit.scale, scale, 1e-12) << picture.width();
        EXPECT_EQ(fit.rect, rect) << picture.width();
    }
}

TEST(ThumbnailMaker, FittedPicturesAreDrawnUprightAndSharpBetweenBackgroundBands) {
    const QImage wide = ThumbnailMaker::fitted(halves({1000, 500}), listBox, background);
    ASSERT_EQ(wide.size(), listBox);
    for (const int x : {0, 45, 91}) {
        expectColour(wide, background, {{x, 0}, {x, 3}, {x, 50}, {x, 53}});
        EXPECT_NE(wide.pixelColor(x, 4), background);
        EXPECT_NE(wide.pixelColor(x, 49), background);
    }
    expectColour(wide, red, {{1, 26}, {44, 26}});
    expectColour(wide, blue, {{47, 26}, {90, 26}});

    // At scale 2 the same box in points takes twice the pixels each way.
    const QImage sharp = ThumbnailMaker::fitted(halves({1000, 500}), listBox, background, 2);
    ASSERT_EQ(sharp.size(), QSize(184, 108));
    EXPECT_EQ(sharp.devicePixelRatio(), 2);
    expectColour(sharp, background, {{90, 7}, {90, 100}});
    expectColour(sharp, red, {{2, 8}, {88, 99}});
    expectColour(sharp, blue, {{94, 8}, {181, 99}});

    // Left half red turned a quarter clockwise: red on top, blue below.
    const QImage tall = ThumbnailMaker::fitted(
        halves({300, 100}).transformed(QTransform().rotate(90)), listBox, background);
    expectColour(tall, background, {{36, 27}, {55, 27}});
    expectColour(tall, red, {{45, 2}});
    expectColour(tall, blue, {{45, 51}});

    QImage clear(40, 20, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    expectColour(ThumbnailMaker::fitted(clear, listBox, background), background, {{45, 27}});
}

TEST(ThumbnailMaker, PlaceholderIsDarkGreyWithAWhitePlaySymbolAtItsCorners) {
    // Corners in y-down pixels for a 200 x 100 box: (84, 28), (140, 50), (84, 72).
    const QImage large = ThumbnailMaker::placeholder({200, 100});
    ASSERT_EQ(large.size(), QSize(200, 100));
    expectColour(large, grey, {{0, 0}, {199, 99}, {80, 50}, {145, 50}, {84, 20}, {84, 80}});
    expectColour(large, white, {{86, 50}, {136, 50}, {86, 32}, {86, 67}});
}

TEST(ThumbnailMaker, ScreenshotsAreFittedOnTheWindowColourAndAnythingElseIsThePlaceholder) {
    QTemporaryDir folder;
    const auto image = [&](const char* type, const char* name) {
        return ThumbnailMaker::image({1, type, folder.filePath(name), {}}, listBox, background);
    };
    ASSERT_TRUE(halves({1000, 500}).save(folder.filePath("shot.png")));
    const QImage shot =
        ThumbnailMaker::image({1, "screenshot", folder.filePath("shot.png"), {}}, listBox);
    expectColour(shot, QGuiApplication::palette().color(QPalette::Window), {{45, 1}, {45, 52}});
    expectColour(shot, red, {{10, 26}});
    expectColour(shot, blue, {{80, 26}});

    // Readers would hang on a pipe, and a picture too large to hold is refused, not held.
    for (const char* name : {"pipe.png", "pipe.mov"}) {
        ASSERT_EQ(mkfifo(QFile::encodeName(folder.filePath(name)).constData(), 0600), 0);
    }
    QImage huge(20000, 20000, QImage::Format_Mono);
    huge.fill(0);
    ASSERT_TRUE(huge.save(folder.filePath("huge.png")));
    ASSERT_TRUE(testmedia::writeFile(folder.filePath("text.png"), "not a picture"));
    const QImage placeholder = ThumbnailMaker::placeholder(listBox);
    for (const auto& [type, name] : {std::pair{"screenshot", "pipe.png"},
                                     {"screenshot", "huge.png"},
                                     {"screenshot", "text.png"},
                                     {"video", "pipe.mov"},
                                     {"video", "text.png"},
                                     {"Screenshot", "shot.png"},
                                     {"", "shot.png"},
                                     {"screenshot ", "shot.png"}}) {
        EXPECT_EQ(image(type, name), placeholder) << type << " " << name;
    }
}
