#include "main/ImageEditor/InsertImageFile.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

namespace {

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage noise(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, state | 0xff000000u);
        }
    }
    return image;
}

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= static_cast<quint8>(byte);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
        }
    }
    return crc ^ 0xffffffffu;
}

QByteArray chunk(const QByteArray& type, const QByteArray& data) {
    QByteArray out(4, '\0');
    qToBigEndian(static_cast<quint32>(data.size()), out.data());
    const QByteArray body = type + data;
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(body), crc.data());
    return out + body + crc;
}

// A well-formed PNG header declaring 20000 × 20000 RGB pixels, followed by a few rows.
QByteArray hugePngHeader() {
    QByteArray header(13, '\0');
    qToBigEndian(20000u, header.data());
    qToBigEndian(20000u, header.data() + 4);
    header[8] = 8;
    header[9] = 2;
    const QByteArray rows(4 * (1 + 20000 * 3), '\0');
    const QByteArray stream = qCompress(rows).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + chunk("IDAT", stream) +
           chunk("IEND", {});
}

class InsertImageFile : public testing::Test {
  protected:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QTemporaryDir folder;
};

}  // namespace

TEST_F(InsertImageFile, LoadsEveryOfferedPictureType) {
    const QImage picture = noise(24, 16);
    for (const char* format : {"png", "jpg", "tiff", "webp"}) {
        ASSERT_TRUE(QImageWriter::supportedImageFormats().contains(format)) << format;
        const auto loaded =
            loadInsertImage(write(QStringLiteral("p.") + format, encoded(picture, format)));
        ASSERT_TRUE(loaded.has_value()) << format;
        EXPECT_EQ(loaded->size(), QSize(24, 16)) << format;
    }
    // Qt reads GIF but cannot write it: the smallest GIF, one white pixel, written by hand.
    const QByteArray gif(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
        "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00"
        "\x00\x02\x02D\x01\x00;",
        43);
    const auto loaded = loadInsertImage(write("p.gif", gif));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->size(), QSize(1, 1));
}

TEST_F(InsertImageFile, OnePixelPictureLoads) {
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::blue);
    const auto loaded = loadInsertImage(write("dot.png", encoded(dot, "png")));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->pixel(0, 0), qRgb(0, 0, 255));
}

TEST_F(InsertImageFile, TextFileMissingFileAndTruncatedPngAreRefused) {
    EXPECT_FALSE(loadInsertImage(write("notes.png", "just some words, not a picture\n")));
    EXPECT_FALSE(loadInsertImage(folder.filePath("absent.png")));
    const QByteArray whole = encoded(noise(64, 64), "png");
    EXPECT_FALSE(loadInsertImage(write("cut.png", whole.left(whole.size() / 2))));
}

TEST_F(InsertImageFile, HugePictureIsRefusedFromItsHeader) {
    const QString path = write("huge.png", hugePngHeader());
    EXPECT_FALSE(loadInsertImage(path).has_value());
}
