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

class ThumbnailCacheTest : public testing::Test {
  protected:
    QString path(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
    CaptureItem item(const char* name, const char* type = "screenshot") const {
        return CaptureItem{1, type, path(name), {}};
    }
    // Counts the drawings and makes each one recognisable by its number.
    void makeCache(qsizetype byteLimit = ThumbnailCache::defaultByteLimit) {
        cache = std::make_unique<ThumbnailCache>(
            [count = drawings](const CaptureItem&, QSize size, const QColor&, qreal) {
                QImage image(size, QImage::Format_ARGB32_Premultiplied);
                image.fill(QColor::fromRgb(++*count, 0, 0));
                return image;
            },
            byteLimit);
        cache->onThumbnailReady = [this](const QString& ready) {
            readyPaths.append(ready);
            readyOnGuiThread = readyOnGuiThread && QThread::currentThread() == qApp->thread();
        };
    }
    // Asks until the drawing has arrived and answers the red channel, the drawing's number.
    int drawn(const CaptureItem& asked, QSize box = listBox) {
        std::optional<QImage> answer;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (answer = cache->thumbnail(asked, box)).has_value(); }, 20000));
        return answer ? answer->pixelColor(0, 0).red() : 0;
    }
    // Rewrites the file with the bytes and the modification time given.
    void rewrite(const char* name, const QByteArray& bytes, const QDateTime& modified) {
        ASSERT_TRUE(testmedia::writeFile(path(name), bytes));
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite) &&
                    file.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    QTemporaryDir folder;
    std::shared_ptr<std::atomic<int>> drawings = std::make_shared<std::atomic<int>>(0);
    std::unique_ptr<ThumbnailCache> cache;
    QStringList readyPaths;
    bool readyOnGuiThread = true;
};

}  // namespace

TEST_F(ThumbnailCacheTest, UnchangedFileIsDrawnOnceAwayFromTheGuiThreadAndAnnouncedOnIt) {
    ASSERT_TRUE(testmedia::writeFile(path("a.png"), "picture"));
    makeCache();
    for (int i = 0; i < 50; ++i) {
        EXPECT_FALSE(cache->thumbnail(item("a.png"), listBox).has_value());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return !readyPaths.isEmpty(); }, 20000));
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(cache->thumbnail(item("a.png"), listBox).value_or(QImage()).size(), listBox);
    }
    EXPECT_EQ(drawings->load(), 1);
    EXPECT_EQ(readyPaths, QStringList{path("a.png")});
    EXPECT_TRUE(readyOnGuiThread);
}

TEST_F(ThumbnailCacheTest, ChangedTimeSizeBoxTypeOrExistenceIsDrawnAgain) {
    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-3600);
    rewrite("a.png", "picture", stamp);
    makeCache();
    EXPECT_EQ(drawn(item("a.png")), 1);
    rewrite("a.png", "picture", stamp.addSecs(60));
    EXPECT_FALSE(cache->thumbnail(item("a.png"), listBox).has_value());
    EXPECT_EQ(drawn(item("a.png")), 2);
    // Same modification time, different length: still another file.
    rewrite("a.png", "a longer picture", stamp.addSecs(60));
    EXPECT_FALSE(cache->thumbnail(item("a.png"), listBox).has_value());
    EXPECT_EQ(drawn(item("a.png")), 3);

    EXPECT_EQ(drawn(item("a.png"), QSize(46, 27)), 4);
    EXPECT_EQ(drawn(item("a.png", "video")), 5);
    EXPECT_EQ(drawn(item("late.png")), 6);
    ASSERT_TRUE(testmedia::writeFile(path("late.png"), "now it exists"));
    EXPECT_EQ(drawn(item("late.png")), 7);
}

TEST_F(ThumbnailCacheTest, KeepsWithinItsBudgetDroppingTheLeastRecentlyUsed) {
    makeCache(2 * listBox.width() * listBox.height() * 4);
    for (const char* name : {"a.png", "b.png", "a.png", "c.png"}) {
        drawn(item(name));
    }
    EXPECT_EQ(drawings->load(), 3);
    EXPECT_TRUE(cache->thumbnail(item("a.png"), listBox).has_value());
    EXPECT_TRUE(cache->thumbnail(item("c.png"), listBox).has_value());
    EXPECT_EQ(drawn(item("b.png")), 4);
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
