#include "main/HistoryDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <QTemporaryDir>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Runs raw SQL against the file, the way another program would alter it.
void execute(const QTemporaryDir& folder, const char* sql) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(folder.filePath("history.db").toUtf8().constData(), &connection),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(connection, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(connection);
}

}  // namespace

TEST(HistoryDatabase, ListsTheNewestHundredFirstAcrossRestartsAndNeverReusesIds) {
    QTemporaryDir folder;
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    {
        HistoryDatabase store(folder.path());
        store.add("video", "/tmp/a b/Ảnh 0.mov");
        for (int i = 1; i < 150; ++i) {
            store.add("screenshot", QString("/p/%1.png").arg(i));
        }
    }
    HistoryDatabase reopened(folder.path());
    const auto items = reopened.recent();
    ASSERT_EQ(items.size(), 100u);
    EXPECT_EQ(QStringList({items.front().path, items.back().path}),
              QStringList({"/p/149.png", "/p/50.png"}));
    EXPECT_GE(items.front().createdAt, before);
    EXPECT_LE(items.front().createdAt, QDateTime::currentDateTimeUtc().addSecs(1));
    EXPECT_EQ(reopened.recent(150).back().type, "video");
    execute(folder, "DELETE FROM captures");
    reopened.add("video", "/3.mov");
    EXPECT_GT(reopened.recent().front().id, items.front().id);
}

// Another program holding the file, as a backup tool or a second display's instance does: a
// brief hold only delays the row; one that outlasts the wait is said, never silently lost.
TEST(HistoryDatabase, ARowWaitsOutABriefHoldOnTheFileAndSaysWhyWhenTheHoldStays) {
    for (const auto& [heldFor, stored] : {std::pair{500ms, true}, {4s, false}}) {
        QTemporaryDir folder;
        HistoryDatabase store(folder.path());
        sqlite3* holder = nullptr;
        sqlite3_open(folder.filePath("history.db").toUtf8().constData(), &holder);
        sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        std::thread release([holder, heldFor = heldFor] {
            std::this_thread::sleep_for(heldFor);
            sqlite3_exec(holder, "COMMIT", nullptr, nullptr, nullptr);
            sqlite3_close(holder);
        });
        const auto failure = store.add("screenshot", "/p/held.png");
        release.join();
        EXPECT_EQ(failure, stored ? std::nullopt : std::optional<QString>("database is locked"));
        EXPECT_EQ(store.recent().size(), stored ? 1u : 0u);
    }
}
