#include "main/HistoryDatabase.h"
#include "tests/support/HistoryFile.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QString databasePath(const QTemporaryDir& folder) {
    return folder.filePath("history.db");
}

// Runs raw SQL against the file, the way another program would alter it.
void execute(const QString& path, const char* sql) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &connection), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(connection, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(connection);
}

QString storedTime(const QString& path) {
    sqlite3* connection = nullptr;
    sqlite3_open(path.toUtf8().constData(), &connection);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(connection, "SELECT created_at FROM captures", -1, &statement, nullptr);
    sqlite3_step(statement);
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(connection);
    return text;
}

}  // namespace

TEST(HistoryDatabase, FreshStoreCreatesItsFolderAndTheExactTable) {
    QTemporaryDir root;
    const QString support = root.filePath("deep/Quorvastelin");
    HistoryDatabase store(support);
    EXPECT_TRUE(store.recent().empty());
    EXPECT_EQ(historyFile::read(support + "/history.db").schema, historyFile::expectedSchema);
}

TEST(HistoryDatabase, ListsNewestFirstWithPathsAndWholeSecondUtcTimes) {
    QTemporaryDir folder;
    HistoryDatabase store(folder.path());
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    store.add("screenshot", "/tmp/a b/Ảnh 1.png");
    store.add("video", "/tmp/v.mov");
    const auto items = store.recent();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].type, "video");
    EXPECT_EQ(items[1].path, "/tmp/a b/Ảnh 1.png");
    EXPECT_GT(items[0].id, items[1].id);
    EXPECT_GE(items[0].createdAt, before);
    EXPECT_LE(items[0].createdAt, QDateTime::currentDateTimeUtc().addSecs(1));
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)")
                    .match(storedTime(databasePath(folder)))
                    .hasMatch());
}

TEST(HistoryDatabase, LimitKeepsTheLargestIdsRestartKeepsRowsAndIdsAreNeverReused) {
    QTemporaryDir folder;
    {
        HistoryDatabase store(folder.path());
        for (int i = 0; i < 150; ++i) {
            store.add("screenshot", QString("/p/%1.png").arg(i));
        }
    }
    HistoryDatabase reopened(folder.path());
    const auto items = reopened.recent();
    ASSERT_EQ(items.size(), 100u);
    EXPECT_EQ(items.front().path, "/p/149.png");
    EXPECT_EQ(items.back().path, "/p/50.png");
    EXPECT_EQ(reopened.recent(3).size(), 3u);

    const qint64 highest = items.front().id;
    execute(databasePath(folder), "DELETE FROM captures");
    reopened.add("video", "/3.mov");
    EXPECT_GT(reopened.recent().front().id, highest);
}

TEST(HistoryDatabase, UnparsableTimeReadsAsNowAndNullRowsAreSkipped) {
    QTemporaryDir folder;
    HistoryDatabase store(folder.path());
    store.add("screenshot", "/good.png");
    // Another program rebuilt the table without the NOT NULL constraints.
    execute(
        databasePath(folder),
        "INSERT INTO captures(type,path,created_at) VALUES('video','/odd.mov','yesterday');"
        "CREATE TABLE loose (id INTEGER PRIMARY KEY AUTOINCREMENT, type TEXT, path TEXT,"
        " created_at TEXT);"
        "INSERT INTO loose SELECT * FROM captures;"
        "INSERT INTO loose(type,path,created_at) VALUES(NULL,'/null.png','2024-01-01T00:00:00Z');"
        "DROP TABLE captures; ALTER TABLE loose RENAME TO captures;");
    const auto items = store.recent();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].path, "/odd.mov");
    EXPECT_LE(qAbs(items[0].createdAt.secsTo(QDateTime::currentDateTimeUtc())), 2);
    EXPECT_EQ(items[1].path, "/good.png");

    EXPECT_EQ(HistoryDatabase::parseIsoText("2024-03-07T11:05:02+02:00"),
              QDateTime(QDate(2024, 3, 7), QTime(9, 5, 2), Qt::UTC));
    EXPECT_FALSE(HistoryDatabase::parseIsoText("2024-03-07").isValid());
    EXPECT_FALSE(HistoryDatabase::parseIsoText("2024-13-07T09:05:02Z").isValid());
}

TEST(HistoryDatabase, BadFilesGiveAnEmptyOrPartialListAndAreNeverOverwritten) {
    QTemporaryDir notADatabase;
    const QByteArray junk = QByteArray("not a database, just some text\n").repeated(50);
    QFile file(databasePath(notADatabase));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(junk);
    file.close();
    {
        HistoryDatabase store(notADatabase.path());
        store.add("screenshot", "/x.png");
        EXPECT_TRUE(store.recent().empty());
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), junk);

    QTemporaryDir folderInItsPlace;
    ASSERT_TRUE(QDir(folderInItsPlace.path()).mkdir("history.db"));
    HistoryDatabase blocked(folderInItsPlace.path());
    blocked.add("screenshot", "/x.png");
    EXPECT_TRUE(blocked.recent().empty());

    QTemporaryDir readOnly;
    HistoryDatabase(readOnly.path()).add("screenshot", "/kept.png");
    QFile::setPermissions(databasePath(readOnly), QFile::ReadOwner | QFile::ReadUser);
    HistoryDatabase store(readOnly.path());
    store.add("video", "/maybe-lost.mov");  // root may still write; anyone else may not
    ASSERT_FALSE(store.recent().empty());
    EXPECT_EQ(store.recent().back().path, "/kept.png");
}
