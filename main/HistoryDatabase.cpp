#include "main/HistoryDatabase.h"

#include "platform/Folders.h"

#include <sqlite3.h>
#include <QDir>
#include <QRegularExpression>
#include <QTimeZone>

const char* const HistoryDatabase::createStatement =
    "CREATE TABLE IF NOT EXISTS captures (\n"
    "    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    type TEXT NOT NULL,\n"
    "    path TEXT NOT NULL,\n"
    "    created_at TEXT NOT NULL\n"
    ");";

namespace {

constexpr int busyTimeoutMilliseconds = 3000;
const char* const insertStatement = "INSERT INTO captures(type,path,created_at) VALUES(?,?,?)";
const char* const selectStatement =
    "SELECT id,type,path,created_at FROM captures ORDER BY id DESC LIMIT ?";

QString columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return QString::fromUtf8(text);
}

}  // namespace

HistoryDatabase::HistoryDatabase() : HistoryDatabase(platform::supportFolder()) {}

HistoryDatabase::HistoryDatabase(const QString& supportFolder) {
    QDir().mkpath(supportFolder);
    const QByteArray path = QDir(supportFolder).filePath(QStringLiteral("history.db")).toUtf8();
    // A file that is not a database stays untouched: SQLite only writes to it once a
    // statement succeeds, and every statement here fails on such a file.
    if (sqlite3_open(path.constData(), &database) != SQLITE_OK) {
        sqlite3_close(database);
        database = nullptr;
        return;
    }
    // Another program reading the file (a backup, a second display's instance) holds it only
    // briefly; a row waits for it instead of being lost.
    sqlite3_busy_timeout(database, busyTimeoutMilliseconds);
    sqlite3_exec(database, createStatement, nullptr, nullptr, nullptr);
}

HistoryDatabase::~HistoryDatabase() {
    sqlite3_close(database);
}

std::optional<QString> HistoryDatabase::add(const QString& type, const QString& path,
                                            const QDateTime& createdAt) {
    if (database == nullptr) {
        return QStringLiteral("không mở được history.db");
    }
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database, insertStatement, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return QString::fromUtf8(sqlite3_errmsg(database));
    }
    const QByteArray typeText = type.toUtf8();
    const QByteArray pathText = path.toUtf8();
    const QByteArray timeText = isoText(createdAt).toUtf8();
    sqlite3_bind_text(statement, 1, typeText.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, pathText.constData(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 3, timeText.constData(), -1, SQLITE_TRANSIENT);
    const bool stored = sqlite3_step(statement) == SQLITE_DONE;
    const QString failure = stored ? QString() : QString::fromUtf8(sqlite3_errmsg(database));
    sqlite3_finalize(statement);
    return stored ? std::nullopt : std::optional(failure);
}

std::vector<CaptureItem> HistoryDatabase::recent(int limit) const {
    std::vector<CaptureItem> items;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database, selectStatement, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return items;
    }
    sqlite3_bind_int(statement, 1, limit);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        // The table forbids NULL; a row altered by another program into one is skipped.
        const bool hasNull = sqlite3_column_type(statement, 1) == SQLITE_NULL ||
                             sqlite3_column_type(statement, 2) == SQLITE_NULL ||
                             sqlite3_column_type(statement, 3) == SQLITE_NULL;
        if (hasNull) {
            continue;
        }
        QDateTime createdAt = parseIsoText(columnText(statement, 3));
        if (!createdAt.isValid()) {
            createdAt = QDateTime::currentDateTimeUtc();
        }
        items.push_back(CaptureItem{sqlite3_column_int64(statement, 0), columnText(statement, 1),
                                    columnText(statement, 2), createdAt});
    }
    sqlite3_finalize(statement);
    return items;
}

QString HistoryDatabase::isoText(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

QDateTime HistoryDatabase::parseIsoText(const QString& text) {
    // Internet date-time with whole seconds and a zone, as written by isoText; nothing looser.
    static const QRegularExpression pattern(QStringLiteral(
        R"(^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2}):(\d{2})(Z|([+-])(\d{2}):?(\d{2}))$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        return {};
    }
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(),
                     match.captured(6).toInt());
    if (!date.isValid() || !time.isValid()) {
        return {};
    }
    int offsetSeconds = 0;
    if (match.captured(7) != QStringLiteral("Z")) {
        const int sign = match.captured(8) == QStringLiteral("-") ? -1 : 1;
        offsetSeconds = sign * (match.captured(9).toInt() * 3600 + match.captured(10).toInt() * 60);
    }
    return QDateTime(date, time, QTimeZone(offsetSeconds)).toUTC();
}
