#include "main/CaptureService/CaptureFileNaming.h"
#include "main/CaptureService/CaptureService.h"
#include "tests/unit/region/FakeScreens.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
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

    const auto saved = service.saveScreenshot(image);
    ASSERT_TRUE(saved);
    EXPECT_EQ(events,
              (QStringList{"clipboard", "history: 1 rows",
                           "status: Đã lưu và sao chép: Screenshot_2024-03-07_09-05-02.png"}));
    events.clear();
    EXPECT_FALSE(service.saveScreenshot(QImage()));
    EXPECT_EQ(events, QStringList{"status: Không thể lưu ảnh chụp: ảnh không có dữ liệu điểm ảnh"});
    EXPECT_EQ(database->recent().size(), 1u);

    // A history that cannot take the row keeps the picture and says so.
    events.clear();
    QDir(CaptureService::rootFolder() + "/Screenshots").removeRecursively();
    QTemporaryDir unusable;
    ASSERT_TRUE(QDir(unusable.path()).mkdir("history.db"));
    CaptureService unlisted(std::make_shared<HistoryDatabase>(unusable.path()), seams);
    unlisted.onStatus = service.onStatus;
    ASSERT_TRUE(unlisted.saveScreenshot(image));
    ASSERT_EQ(events.size(), 2);
    EXPECT_TRUE(QRegularExpression("^status: Đã lưu Screenshot_2024-03-07_09-05-02.png nhưng không "
                                   "ghi được lịch sử: .")
                    .match(events[1])
                    .hasMatch())
        << events[1].toStdString();
}
