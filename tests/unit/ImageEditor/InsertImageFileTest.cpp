#include "main/ImageEditor/InsertImageFile.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

TEST(InsertImageFile, LoadsPicturesButNotMissingFilesOrPicturesTooLargeToHold) {
    QTemporaryDir folder;
    QImage picture(24, 16, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(folder.filePath("p.webp")));
    EXPECT_EQ(loadInsertImage(folder.filePath("p.webp")).value_or(QImage()).size(), QSize(24, 16));
    EXPECT_FALSE(loadInsertImage(folder.filePath("absent.png")));
    // 20000 × 20000 pixels in a small file: refused cleanly, without holding them.
    QImage huge(20000, 20000, QImage::Format_Mono);
    huge.fill(0);
    ASSERT_TRUE(huge.save(folder.filePath("huge.png")));
    EXPECT_FALSE(loadInsertImage(folder.filePath("huge.png")));
}
