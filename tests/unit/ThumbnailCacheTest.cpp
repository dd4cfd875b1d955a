#include "main/CaptureService/ThumbnailCache.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <future>
#include <memory>

namespace {

const QSize listBox(92, 54);

// A cache whose drawings are counted and recognisable by their number, the red channel.
class ThumbnailCacheTest : public testing::Test {
  protected:
    ThumbnailCacheTest() {
        cache->onThumbnailReady = [this](const QString& ready) {
            readyPaths.append(ready);
            readyOnGuiThread = readyOnGuiThread && QThread::currentThread() == qApp->thread();
        };
    }
    CaptureItem item(const char* name, const char* type = "screenshot") const {
        return CaptureItem{1, type, folder.filePath(name), {}};
    }
    // Asks until the drawing has arrived and answers its number.
    int drawn(const CaptureItem& asked, QSize box = listBox) {
        std::optional<QImage> answer;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (answer = cache->thumbnail(asked, box)).has_value(); }, 20000));
        return answer ? answer->pixelColor(0, 0).red() : 0;
    }
    // Rewrites the file with the bytes and the modification time given.
    void rewrite(const QByteArray& bytes, const QDateTime& modified) {
        ASSERT_TRUE(testmedia::writeFile(folder.filePath("a.png"), bytes));
        QFile file(folder.filePath("a.png"));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    QTemporaryDir folder;
    std::shared_ptr<std::atomic<int>> drawings = std::make_shared<std::atomic<int>>(0);
    std::unique_ptr<ThumbnailCache> cache = std::make_unique<ThumbnailCache>(
        [count = drawings](const CaptureItem&, QSize size, const QColor&, qreal) {
            QImage image(size, QImage::Format_ARGB32_Premultiplied);
            image.fill(QColor::fromRgb(++*count, 0, 0));
            return image;
        });
    QStringList readyPaths;
    bool readyOnGuiThread = true;
};

}  // namespace

TEST_F(ThumbnailCacheTest, UnchangedFileIsDrawnOnceAwayFromTheGuiThreadAndAnnouncedOnIt) {
    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-3600);
    rewrite("picture", stamp);
    EXPECT_FALSE(cache->thumbnail(item("a.png"), listBox).has_value());
    EXPECT_FALSE(cache->thumbnail(item("a.png"), listBox).has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !readyPaths.isEmpty(); }, 20000));
    EXPECT_EQ(cache->thumbnail(item("a.png"), listBox).value_or(QImage()).size(), listBox);
    EXPECT_EQ(drawings->load(), 1);
    EXPECT_EQ(readyPaths, QStringList{folder.filePath("a.png")});
    EXPECT_TRUE(readyOnGuiThread);

    // A changed time, length, box, type or existence is another drawing.
    rewrite("picture", stamp.addSecs(60));
    EXPECT_EQ(drawn(item("a.png")), 2);
    rewrite("a longer picture", stamp.addSecs(60));
    EXPECT_EQ(drawn(item("a.png")), 3);
    EXPECT_EQ(drawn(item("a.png"), QSize(46, 27)), 4);
    EXPECT_EQ(drawn(item("a.png", "video")), 5);
    EXPECT_EQ(drawn(item("late.png")), 6);
    ASSERT_TRUE(testmedia::writeFile(folder.filePath("late.png"), "now it exists"));
    EXPECT_EQ(drawn(item("late.png")), 7);
}

TEST_F(ThumbnailCacheTest, DestroyedWhileDrawingNeitherCrashesNorAnnounces) {
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    auto started = std::make_shared<std::atomic<bool>>(false);
    bool announced = false;
    {
        ThumbnailCache slow(
            [opened, started](const CaptureItem&, QSize size, const QColor&, qreal) {
                *started = true;
                opened.wait();
                return QImage(size, QImage::Format_ARGB32_Premultiplied);
            });
        slow.onThumbnailReady = [&announced](const QString&) { announced = true; };
        slow.thumbnail(item("a.png"), listBox);
        slow.thumbnail(item("b.png"), listBox);
        ASSERT_TRUE(QTest::qWaitFor([&] { return started->load(); }, 20000));
        gate.set_value();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(announced);
}
