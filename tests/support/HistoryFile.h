#pragma once

#include <sqlite3.h>
#include <QString>
#include <utility>
#include <vector>

// Reads history.db the way another program would: read-only, through SQLite itself.
namespace historyFile {

struct Contents {
    std::vector<std::pair<QString, QString>> rows;  // type and path, newest first
    QString integrity;                              // what PRAGMA integrity_check says
};

inline Contents read(const QString& path) {
    Contents contents;
    sqlite3* connection = nullptr;
    const auto each = [&](const char* sql, const auto& take) {
        sqlite3_stmt* statement = nullptr;
        sqlite3_prepare_v2(connection, sql, -1, &statement, nullptr);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            take([statement](int column) {
                return QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, column)));
            });
        }
        sqlite3_finalize(statement);
    };
    if (sqlite3_open_v2(path.toUtf8().constData(), &connection, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        each("SELECT type,path FROM captures ORDER BY id DESC",
             [&](const auto& text) { contents.rows.emplace_back(text(0), text(1)); });
        each("PRAGMA integrity_check", [&](const auto& text) { contents.integrity = text(0); });
    }
    sqlite3_close(connection);
    return contents;
}

}  // namespace historyFile
