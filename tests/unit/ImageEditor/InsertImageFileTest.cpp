#include "main/ImageEditor/InsertImageFile.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

TEST(InsertImageFile, LoadsEveryOfferedPictureTypeButNotMissingFilesOrPicturesTooLargeToHold) {
    QTemporaryDir folder;
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    for (const char* format : {"png", "jpg", "tiff", "webp"}) {
        const QString path = folder.filePath(QStringLiteral("p.") + format);
        ASSERT_TRUE(picture.save(path, format)) << format;
        EXPECT_EQ(loadInsertImage(path).value_or(QImage()).size(), QSize(24, 16)) << format;
    }
    // Qt reads GIF but cannot write it: the smallest GIF, one white pixel, written by hand.
    QFile gif(folder.filePath("p.gif"));
    ASSERT_TRUE(gif.open(QIODevice::WriteOnly));
    gif.write(
        QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                   "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00"
                   "\x00\x02\x02D\x01\x00;",
                   43));
    gif.close();
    EXPECT_EQ(loadInsertImage(gif.fileName()).value_or(QImage()).size(), QSize(1, 1));

    EXPECT_FALSE(loadInsertImage(folder.filePath("absent.png")));
    // 20000 × 20000 pixels in a small file: refused cleanly, without holding them.
    QImage huge(20000, 20000, QImage::Format_Mono);
    huge.fill(0);
    ASSERT_TRUE(huge.save(folder.filePath("huge.png")));
    EXPECT_FALSE(loadInsertImage(folder.filePath("huge.png")));
}
