#include "main/CaptureService/RecordingJournal.h"

#include "main/HistoryDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString noteSuffix = QStringLiteral(".recording");

}  // namespace

RecordingJournal::Note::Note(QString notePath, QString moviePath, QDateTime startedAt,
                             std::unique_ptr<platform::FileLock> lock)
    : moviePath(std::move(moviePath)),
      startedAt(std::move(startedAt)),
      notePath(std::move(notePath)),
      lock(std::move(lock)) {}

RecordingJournal::Note::~Note() {
    // Removed while still locked, so no other process can take a note that is going away.
    if (!kept) {
        QFile::remove(notePath);
    }
}

RecordingJournal::RecordingJournal(QString folder) : folder(std::move(folder)) {}

std::unique_ptr<RecordingJournal::Note> RecordingJournal::begin(const QString& moviePath,
                                                                const QDateTime& startedAt) const {
    if (!QDir().mkpath(folder)) {
        return nullptr;
    }
    const QString notePath = folder + '/' + QFileInfo(moviePath).fileName() + noteSuffix;
    // Written under the lock, so nobody reads a note that is still being written.
    auto lock = platform::FileLock::tryAcquire(notePath);
    QFile note(notePath);
    if (!lock || !note.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return nullptr;
    }
    const QByteArray text =
        HistoryDatabase::isoText(startedAt).toUtf8() + '\n' + moviePath.toUtf8();
    if (note.write(text) != text.size() || !note.flush()) {
        note.remove();
        return nullptr;
    }
    return std::make_unique<Note>(notePath, moviePath, startedAt, std::move(lock));
}

std::vector<std::unique_ptr<RecordingJournal::Note>> RecordingJournal::unfinished() const {
    std::vector<std::unique_ptr<Note>> notes;
    const QStringList names =
        QDir(folder).entryList({QStringLiteral("*") + noteSuffix}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QString notePath = folder + '/' + name;
        auto lock = platform::FileLock::tryAcquire(notePath);
        QFile note(notePath);
        if (!lock || !note.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QList<QByteArray> lines = note.readAll().split('\n');
        if (lines.size() != 2 || lines[1].isEmpty()) {
            // A note cut short names no movie; there is nothing to complete.
            QFile::remove(notePath);
            continue;
        }
        notes.push_back(std::make_unique<Note>(notePath, QString::fromUtf8(lines[1]),
                                               HistoryDatabase::parseIsoText(lines[0]),
                                               std::move(lock)));
    }
    return notes;
}
