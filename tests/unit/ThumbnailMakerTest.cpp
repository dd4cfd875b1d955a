#include "main/CaptureService/ThumbnailMaker.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QTemporaryDir>

namespace {

const QSize listBox(92, 54);
const QColor background(10, 200, 220);

// Left half red, right half blue, so stretching, cropping and mirroring all show.
QImage halves(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QPainter(&picture).fillRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height(),
                                Qt::blue);
    return picture;
}

// Top half red, bottom half blue, so a vertical flip shows.
QImage stacked(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QPainter(&picture).fillRect(0, size.height() / 2, size.width(),
                                size.height() - size.height() / 2, Qt::blue);
    return picture;
}

bool isBackground(const QImage& image, int x, int y) {
    return image.pixelColor(x, y) == background;
}
bool isRed(const QImage& image, int x, int y) {
    return image.pixelColor(x, y) == QColor(Qt::red);
}
bool isBlue(const QImage& image, int x, int y) {
    return image.pixelColor(x, y) == QColor(Qt::blue);
}
bool isPlaceholderGrey(const QImage& image, int x, int y) {
    return image.pixel(x, y) == ThumbnailMaker::placeholderColor;
}
bool isWhite(const QImage& image, int x, int y) {
    return image.pixelColor(x, y) == QColor(Qt::white);
}

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

void expectRect(const ThumbnailMaker::Fit& fit, double scale, QRectF rect) {
    EXPECT_NEAR(fit.scale, scale, 1e-12);
    EXPECT_NEAR(fit.rect.x(), rect.x(), 1e-9);
    EXPECT_NEAR(fit.rect.y(), rect.y(), 1e-9);
    EXPECT_NEAR(fit.rect.width(), rect.width(), 1e-9);
    EXPECT_NEAR(fit.rect.height(), rect.height(), 1e-9);
}

}  // namespace

TEST(ThumbnailFit, WidePictureFillsTheWidthWithBandsAboveAndBelow) {
    expectRect(ThumbnailMaker::fit(QSizeF(1000, 500), listBox), 0.092, QRectF(0, 4, 92, 46));
}

TEST(ThumbnailFit, TallPictureFillsTheHeightCentredAcross) {
    expectRect(ThumbnailMaker::fit(QSizeF(100, 300), listBox), 0.18, QRectF(37, 0, 18, 54));
}

TEST(ThumbnailFit, SmallPictureIsEnlargedAlongItsLimitingSide) {
    expectRect(ThumbnailMaker::fit(QSizeF(20, 10), listBox), 4.6, QRectF(0, 4, 92, 46));
}

TEST(ThumbnailFit, PictureOfTheBoxShapeFillsItExactly) {
    expectRect(ThumbnailMaker::fit(QSizeF(184, 108), listBox), 0.5, QRectF(0, 0, 92, 54));
}

TEST(ThumbnailFitted, WidePictureIsDrawnBetweenBackgroundBands) {
    const QImage thumb = ThumbnailMaker::fitted(halves({1000, 500}), listBox, background);
    ASSERT_EQ(thumb.size(), listBox);
    for (const int x : {0, 45, 91}) {
        EXPECT_TRUE(isBackground(thumb, x, 0));
        EXPECT_TRUE(isBackground(thumb, x, 3));
        EXPECT_FALSE(isBackground(thumb, x, 4));
        EXPECT_FALSE(isBackground(thumb, x, 49));
        EXPECT_TRUE(isBackground(thumb, x, 50));
        EXPECT_TRUE(isBackground(thumb, x, 53));
    }
    EXPECT_TRUE(isRed(thumb, 1, 26));
    EXPECT_TRUE(isRed(thumb, 44, 26));
    EXPECT_TRUE(isBlue(thumb, 47, 26));
    EXPECT_TRUE(isBlue(thumb, 90, 26));
}

TEST(ThumbnailFitted, TallPictureIsDrawnInTheMiddleColumns) {
    const QImage thumb = ThumbnailMaker::fitted(stacked({100, 300}), listBox, background);
    for (const int y : {0, 27, 53}) {
        EXPECT_TRUE(isBackground(thumb, 36, y));
        EXPECT_FALSE(isBackground(thumb, 37, y));
        EXPECT_FALSE(isBackground(thumb, 54, y));
        EXPECT_TRUE(isBackground(thumb, 55, y));
    }
    // Upright: the picture's top half stays on top.
    EXPECT_TRUE(isRed(thumb, 45, 2));
    EXPECT_TRUE(isBlue(thumb, 45, 51));
}

TEST(ThumbnailFitted, SmallPictureIsEnlargedWhole) {
    const QImage thumb = ThumbnailMaker::fitted(halves({20, 10}), listBox, background);
    EXPECT_TRUE(isBackground(thumb, 45, 3));
    EXPECT_TRUE(isRed(thumb, 0, 4));
    EXPECT_TRUE(isRed(thumb, 40, 26));
    EXPECT_TRUE(isBlue(thumb, 52, 26));
    EXPECT_TRUE(isBlue(thumb, 91, 49));
    EXPECT_TRUE(isBackground(thumb, 45, 50));
}

TEST(ThumbnailFitted, TransparentPictureShowsTheBackgroundThrough) {
    QImage clear(40, 20, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    const QImage thumb = ThumbnailMaker::fitted(clear, listBox, background);
    EXPECT_TRUE(isBackground(thumb, 45, 27));
}

TEST(ThumbnailPlaceholder, DarkGreyWithWhitePlaySymbolAtItsCorners) {
    // Corners in y-down pixels for a 200 x 100 box: (84, 28), (140, 50), (84, 72).
    const QImage thumb = ThumbnailMaker::placeholder({200, 100});
    ASSERT_EQ(thumb.size(), QSize(200, 100));
    for (const QPoint p : {QPoint(0, 0), QPoint(199, 99), QPoint(80, 50), QPoint(145, 50),
                           QPoint(100, 30), QPoint(100, 70), QPoint(84, 20), QPoint(84, 80)}) {
        EXPECT_TRUE(isPlaceholderGrey(thumb, p.x(), p.y())) << p.x() << "," << p.y();
    }
    for (const QPoint p : {QPoint(102, 50), QPoint(86, 50), QPoint(136, 50), QPoint(86, 32),
                           QPoint(86, 67), QPoint(110, 40), QPoint(110, 60)}) {
        EXPECT_TRUE(isWhite(thumb, p.x(), p.y())) << p.x() << "," << p.y();
    }
}

TEST(ThumbnailPlaceholder, ListSizedPlaceholderHasTheSymbolInPlace) {
    const QImage thumb = ThumbnailMaker::placeholder(listBox);
    ASSERT_EQ(thumb.size(), listBox);
    EXPECT_TRUE(isPlaceholderGrey(thumb, 0, 0));
    EXPECT_TRUE(isPlaceholderGrey(thumb, 91, 53));
    EXPECT_TRUE(isPlaceholderGrey(thumb, 36, 27));
    EXPECT_TRUE(isPlaceholderGrey(thumb, 66, 27));
    EXPECT_TRUE(isWhite(thumb, 46, 27));
    EXPECT_TRUE(isWhite(thumb, 60, 27));
}

class ThumbnailImage : public testing::Test {
  protected:
    QString path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
    QImage placeholder() const { return ThumbnailMaker::placeholder(listBox); }

    QTemporaryDir folder;
};

TEST_F(ThumbnailImage, ScreenshotFileIsFittedOnTheWindowColour) {
    ASSERT_TRUE(halves({1000, 500}).save(path("shot.png")));
    const QImage thumb = ThumbnailMaker::image(item("screenshot", path("shot.png")), listBox);
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    EXPECT_EQ(thumb.size(), listBox);
    EXPECT_EQ(thumb.pixelColor(45, 1), window);
    EXPECT_EQ(thumb.pixelColor(45, 52), window);
    EXPECT_TRUE(isRed(thumb, 10, 26));
    EXPECT_TRUE(isBlue(thumb, 80, 26));
}

TEST_F(ThumbnailImage, VideoShowsItsFrameAtTwoTenthsOfASecond) {
    ASSERT_TRUE(testmedia::makeColourMovie(path("steps.mov"), {{QStringLiteral("red"), 0.2},
                                                               {QStringLiteral("blue"), 0.04},
                                                               {QStringLiteral("green"), 0.76}}));
    const QImage thumb =
        ThumbnailMaker::image(item("video", path("steps.mov")), listBox, background);
    // 160 x 90 in 92 x 54: 92 x 51.75 from y 1.125.
    EXPECT_TRUE(isBackground(thumb, 45, 0));
    const QColor centre = thumb.pixelColor(46, 27);
    EXPECT_GT(centre.blue(), 180);
    EXPECT_LT(centre.red(), 80);
    EXPECT_LT(centre.green(), 80);
}

TEST_F(ThumbnailImage, OtherTypesGetThePlaceholderEvenWithAGoodFile) {
    ASSERT_TRUE(halves({100, 100}).save(path("shot.png")));
    for (const char* type : {"Screenshot", "image", "", "screenshot "}) {
        EXPECT_EQ(ThumbnailMaker::image(item(type, path("shot.png")), listBox), placeholder())
            << type;
    }
}

TEST_F(ThumbnailImage, UnreadableFilesGetThePlaceholderWithoutHanging) {
    ASSERT_TRUE(halves({400, 300}).save(path("whole.png")));
    ASSERT_TRUE(testmedia::truncateCopy(path("whole.png"), path("cut.png"), 0.5));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("folder.png")));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("pipe.png")).constData(), 0600), 0);
    QFile huge(path("huge.png"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    huge.write(pngClaiming(60000, 60000));
    huge.close();
    QFile text(path("text.png"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a picture");
    text.close();
    for (const char* name :
         {"missing.png", "cut.png", "folder.png", "pipe.png", "text.png", "huge.png"}) {
        EXPECT_EQ(ThumbnailMaker::image(item("screenshot", path(name)), listBox), placeholder())
            << name;
    }
}

TEST_F(ThumbnailImage, UnreadableMoviesGetThePlaceholder) {
    ASSERT_TRUE(testmedia::makeColourMovie(path("good.mov"), {{QStringLiteral("red"), 1.0}}));
    ASSERT_TRUE(testmedia::truncateCopy(path("good.mov"), path("cut.mov"), 0.5));
    ASSERT_TRUE(testmedia::makeAudioOnlyMovie(path("audio.mov")));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("folder.mov")));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("pipe.mov")).constData(), 0600), 0);
    for (const char* name : {"missing.mov", "cut.mov", "audio.mov", "folder.mov", "pipe.mov"}) {
        EXPECT_EQ(ThumbnailMaker::image(item("video", path(name)), listBox), placeholder()) << name;
    }
}
