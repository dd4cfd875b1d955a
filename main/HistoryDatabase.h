#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

struct sqlite3;

// One saved capture.
struct CaptureItem {
    qint64 id = 0;
    QString type;
    QString path;
    QDateTime createdAt;
};

// The persistent list of saved captures: one SQLite connection, three fixed statements.
class HistoryDatabase {
  public:
    static constexpr int defaultLimit = 100;
    static const char* const createStatement;

    // Opens history.db in the support folder, creating the folder and the table as needed.
    HistoryDatabase();
    explicit HistoryDatabase(const QString& supportFolder);
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    // Nothing once the row is stored, or why it could not be.
    std::optional<QString> add(const QString& type, const QString& path,
                               const QDateTime& createdAt = QDateTime::currentDateTimeUtc());
    std::vector<CaptureItem> recent(int limit = defaultLimit) const;

    static QString isoText(const QDateTime& time);
    static QDateTime parseIsoText(const QString& text);

  private:
    sqlite3* database = nullptr;
};
