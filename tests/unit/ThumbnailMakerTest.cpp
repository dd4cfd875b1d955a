#include "main/CaptureService/ThumbnailMaker.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QPalette>
#include <QTemporaryDir>

using testmedia::halves;

namespace {

const QSize listBox(92, 54);
const QColor background(10, 200, 220);
const QColor red(Qt::red), blue(Qt::blue), white(Qt::white), grey(ThumbnailMaker::placeholderColor);

// A PNG whose header claims a picture far too large to hold in memory.
QByteArray pngClaiming(quint32 width, quint32 height) {
    QImage tiny(1, 1, QImage::Format_RGB32);
    tiny.fill(Qt::red);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    tiny.save(&buffer, "PNG");
    // IHDR data sits after the 8-byte signature, the chunk length and the type.
    const auto put = [&png](qsizetype at, quint32 value) {
        for (int i = 0; i < 4; ++i) {
            png[at + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xff);
        }
    };
    put(16, width);
    put(20, height);
    quint32 crc = 0xffffffffu;
    for (qsizetype i = 12; i < 29; ++i) {
        crc ^= static_cast<quint8>(png[i]);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    put(29, ~crc);
    return png;
}

CaptureItem item(const QString& type, const QString& path) {
    return CaptureItem{1, type, path, QDateTime::currentDateTime()};
}

// Expects each listed point of the image to have the colour.
void expectColour(const QImage& image, const QColor& colour, std::initializer_list<QPoint> points) {
    for (const QPoint p : points) {
        EXPECT_EQ(image.pixelColor(p), colour) << p.x() << "," << p.y();
    }
}

}  // namespace

TEST(ThumbnailMaker, FitScalesByTheSmallerRatioAndCentres) {
    const auto expectFit = [](QSizeF picture, double scale, QRectF rect) {
        const auto fit = ThumbnailMaker::fit(picture, listBox);
        EXPECT_NEAR(fit.scale, scale, 1e-12) << picture.width();
        for (const auto& [got, want] : {std::pair{fit.rect.x(), rect.x()},
                                        {fit.rect.y(), rect.y()},
                                        {fit.rect.width(), rect.width()},
                                        {fit.rect.height(), rect.height()}}) {
            EXPECT_NEAR(got, want, 1e-9) << picture.width();
        }
    };
    expectFit(QSizeF(1000, 500), 0.092, QRectF(0, 4, 92, 46));
    expectFit(QSizeF(100, 300), 0.18, QRectF(37, 0, 18, 54));
    expectFit(QSizeF(20, 10), 4.6, QRectF(0, 4, 92, 46));
}

TEST(ThumbnailMaker, FittedPicturesAreDrawnUprightBetweenBackgroundBands) {
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
    for (const int y : {0, 27, 53}) {
        expectColour(tall, background, {{36, y}, {55, y}});
        EXPECT_NE(tall.pixelColor(37, y), background);
        EXPECT_NE(tall.pixelColor(54, y), background);
    }
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
    expectColour(
        large, grey,
        {{0, 0}, {199, 99}, {80, 50}, {145, 50}, {100, 30}, {100, 70}, {84, 20}, {84, 80}});
    expectColour(large, white,
                 {{102, 50}, {86, 50}, {136, 50}, {86, 32}, {86, 67}, {110, 40}, {110, 60}});
}

class ThumbnailImage : public testing::Test {
  protected:
    QString path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
    QImage image(const char* type, const char* name) const {
        return ThumbnailMaker::image(item(type, path(name)), listBox, background);
    }

    QTemporaryDir folder;
    const QImage placeholder = ThumbnailMaker::placeholder(listBox);
};

TEST_F(ThumbnailImage, ScreenshotsAreFittedOnTheWindowColourAndVideosShowTheirFrameAt02s) {
    ASSERT_TRUE(halves({1000, 500}).save(path("shot.png")));
    const QImage shot = ThumbnailMaker::image(item("screenshot", path("shot.png")), listBox);
    EXPECT_EQ(shot.size(), listBox);
    expectColour(shot, QGuiApplication::palette().color(QPalette::Window), {{45, 1}, {45, 52}});
    expectColour(shot, red, {{10, 26}});
    expectColour(shot, blue, {{80, 26}});

    ASSERT_TRUE(testmedia::makeColourMovie(path("steps.mov"), testmedia::blueAtTwoTenths));
    const QImage video = image("video", "steps.mov");
    // 160 x 90 in 92 x 54: 92 x 51.75 from y 1.125.
    expectColour(video, background, {{45, 0}});
    const QColor centre = video.pixelColor(46, 27);
    EXPECT_GT(centre.blue(), 180);
    EXPECT_LT(std::max(centre.red(), centre.green()), 80);

    for (const char* type : {"Screenshot", "image", "", "screenshot "}) {
        EXPECT_EQ(image(type, "shot.png"), placeholder) << "unknown type " << type;
    }
}

TEST_F(ThumbnailImage, UnreadableFilesGetThePlaceholderWithoutHanging) {
    ASSERT_TRUE(halves({400, 300}).save(path("whole.png")));
    ASSERT_TRUE(testmedia::truncateCopy(path("whole.png"), path("cut.png"), 0.5));
    ASSERT_TRUE(testmedia::makeAudioOnlyMovie(path("audio.mov")));
    for (const char* name : {"folder.png", "folder.mov"}) {
        ASSERT_TRUE(QDir(folder.path()).mkdir(QString::fromUtf8(name)));
    }
    for (const char* name : {"pipe.png", "pipe.mov"}) {
        ASSERT_EQ(mkfifo(QFile::encodeName(path(name)).constData(), 0600), 0);
    }
    ASSERT_TRUE(testmedia::writeFile(path("huge.png"), pngClaiming(60000, 60000)));
    ASSERT_TRUE(testmedia::writeFile(path("text.png"), "not a picture"));
    for (const char* name :
         {"missing.png", "cut.png", "folder.png", "pipe.png", "text.png", "huge.png"}) {
        EXPECT_EQ(image("screenshot", name), placeholder) << name;
    }
    for (const char* name : {"missing.mov", "cut.png", "audio.mov", "folder.mov", "pipe.mov"}) {
        EXPECT_EQ(image("video", name), placeholder) << name;
    }
}
