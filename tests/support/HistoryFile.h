#pragma once

#include <sqlite3.h>
#include <QString>
#include <utility>
#include <vector>

// Reads history.db the way another program would: read-only, through SQLite itself.
namespace historyFile {

struct Contents {
    QString schema;
    std::vector<std::pair<QString, QString>> rows;  // type and path, newest first
    QString integrity;                              // what PRAGMA integrity_check says
};

inline Contents read(const QString& path) {
    Contents contents;
    sqlite3* connection = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &connection, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        const auto text = [](sqlite3_stmt* statement, int column) {
            return QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
        };
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(connection, "SELECT sql FROM sqlite_master WHERE name='captures'", -1,
                           &statement, nullptr);
        if (sqlite3_step(statement) == SQLITE_ROW) {
            contents.schema = text(statement, 0);
        }
        sqlite3_finalize(statement);
        sqlite3_prepare_v2(connection, "SELECT type,path FROM captures ORDER BY id DESC", -1,
                           &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            contents.rows.emplace_back(text(statement, 0), text(statement, 1));
        }
        sqlite3_finalize(statement);
        sqlite3_prepare_v2(connection, "PRAGMA integrity_check", -1, &statement, nullptr);
        if (sqlite3_step(statement) == SQLITE_ROW) {
            contents.integrity = text(statement, 0);
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(connection);
    return contents;
}

// The table as the program creates it, as SQLite stores the statement.
inline const char* const expectedSchema =
    "CREATE TABLE captures (\n    id INTEGER PRIMARY KEY AUTOINCREMENT,\n"
    "    type TEXT NOT NULL,\n    path TEXT NOT NULL,\n    created_at TEXT NOT NULL\n)";

}  // namespace historyFile
