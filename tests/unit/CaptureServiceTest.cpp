#include "main/CaptureService/CaptureFileNaming.h"
#include "main/CaptureService/CaptureService.h"
#include "main/CaptureService/PngEncoder.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QDateTime fixedNow(QDate(2024, 3, 7), QTime(9, 5, 2));

// Keeps the service's outward effects in order, the clipboard's among them.
struct RecordingClipboard : platform::Clipboard {
    void setPng(const QByteArray&) override { events << "clipboard"; }
    void setImage(const QImage&) override { events << "clipboard image"; }
    QStringList events;
};

}  // namespace

TEST(CaptureFileNaming, CountsUpPastFilesAndFoldersWithTheCandidateName) {
    QTemporaryDir folder;
    const auto next = [&] {
        return QFileInfo(chooseCaptureFilePath(folder.path(), "Screenshot", "png", fixedNow))
            .fileName();
    };
    EXPECT_EQ(next(), "Screenshot_2024-03-07_09-05-02.png");
    QFile(folder.filePath(next())).open(QIODevice::WriteOnly);
    EXPECT_EQ(next(), "Screenshot_2024-03-07_09-05-02_1.png");
    QDir(folder.path()).mkdir(next());
    EXPECT_EQ(next(), "Screenshot_2024-03-07_09-05-02_2.png");
}

// Decoded again, the bytes give back every pixel, whatever the picture's format and shape, and
// a screen's picture takes no more room than Qt's own writer gives it.
TEST(PngEncoder, GivesBackEveryPixelInLittleMoreRoomThanQt) {
    QImage gradient(257, 67, QImage::Format_RGB32);
    for (int y = 0; y < gradient.height(); ++y) {
        for (int x = 0; x < gradient.width(); ++x) {
            gradient.setPixel(x, y, qRgb(x, (x * y) % 256, 255 - y));
        }
    }
    QImage translucent = gradient.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < translucent.height(); ++y) {
        for (int x = 0; x < translucent.width(); ++x) {
            const QRgb pixel = translucent.pixel(x, y);
            translucent.setPixel(x, y, qRgba(qRed(pixel), qGreen(pixel), qBlue(pixel), x ^ y));
        }
    }
    QImage text(600, 200, QImage::Format_ARGB32_Premultiplied);
    text.fill(Qt::white);
    QPainter(&text).drawText(text.rect(), Qt::TextWordWrap,
                             QString("Lưu & sao chép • ").repeated(40));
    for (const QImage& image :
         {gradient, translucent.convertToFormat(QImage::Format_ARGB32_Premultiplied), text,
          gradient.copy(0, 0, 1, 67), gradient.copy(0, 0, 257, 1),
          gradient.convertToFormat(QImage::Format_Grayscale8)}) {
        SCOPED_TRACE(image.format());
        const QByteArray png = encodePng(image);
        const QImage decoded = QImage::fromData(png, "PNG");
        EXPECT_EQ(decoded.hasAlphaChannel(), image.hasAlphaChannel());
        EXPECT_EQ(decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                  image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    QByteArray qt;
    QBuffer buffer(&qt);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly) && text.save(&buffer, "PNG"));
    EXPECT_LE(encodePng(text).size(), qt.size() * 11 / 10);
    EXPECT_TRUE(encodePng(QImage()).isEmpty());
}

// Over a real database in a temporary support folder.
TEST(CaptureService, SaveWritesPngThenClipboardThenRowThenListThenStatusOrOnlySaysWhyItFailed) {
    QDir(CaptureService::rootFolder()).removeRecursively();
    QTemporaryDir support;
    const auto clipboard = std::make_shared<RecordingClipboard>();
    QStringList& events = clipboard->events;
    const auto database = std::make_shared<HistoryDatabase>(support.path());
    CapturePlatform seams = fakeDesk();
    seams.clipboard = clipboard;
    seams.now = [] { return fixedNow; };
    CaptureService service(database, seams);
    service.onStatus = [&](const QString& text) { events << "status: " + text; };
    service.onHistoryChanged = [&] {
        events << QString("history: %1 rows").arg(database->recent().size());
    };
    QImage image(64, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(10, 120, 200));
    image.setDevicePixelRatio(2);

    const auto saved = savedScreenshot(service, image);
    ASSERT_TRUE(saved);
    EXPECT_EQ(events,
              (QStringList{"clipboard", "history: 1 rows",
                           "status: Đã lưu và sao chép: Screenshot_2024-03-07_09-05-02.png"}));
    // Saves asked for together, in the same second, keep a file each.
    std::vector<std::optional<QString>> together;
    for (int save = 0; save < 2; ++save) {
        service.saveScreenshot(image,
                               [&](std::optional<QString> path) { together.push_back(path); });
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return together.size() == 2; }));
    ASSERT_TRUE(together[0] && together[1]);
    EXPECT_NE(*together[0], *together[1]);
    for (const auto& path : together) {
        EXPECT_EQ(QImage(*path).convertToFormat(QImage::Format_ARGB32_Premultiplied), image);
    }
    events.clear();
    EXPECT_FALSE(savedScreenshot(service, QImage()));
    EXPECT_EQ(events, QStringList{"status: Không thể lưu ảnh chụp: ảnh không có dữ liệu điểm ảnh"});
    EXPECT_EQ(database->recent().size(), 3u);

    // A history that cannot take the row keeps the picture and says so.
    events.clear();
    QDir(CaptureService::rootFolder() + "/Screenshots").removeRecursively();
    QTemporaryDir unusable;
    ASSERT_TRUE(QDir(unusable.path()).mkdir("history.db"));
    CaptureService unlisted(std::make_shared<HistoryDatabase>(unusable.path()), seams);
    unlisted.onStatus = service.onStatus;
    ASSERT_TRUE(savedScreenshot(unlisted, image));
    ASSERT_EQ(events.size(), 2);
    EXPECT_TRUE(QRegularExpression("^status: Đã lưu Screenshot_2024-03-07_09-05-02.png nhưng không "
                                   "ghi được lịch sử: .")
                    .match(events[1])
                    .hasMatch())
        << events[1].toStdString();
}
