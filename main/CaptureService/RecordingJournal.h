#pragma once

#include "platform/FileLock.h"

#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

// One note per recording being written, kept locked by the process writing it, so that a
// later start can find a recording whose writer died and complete it.
class RecordingJournal {
  public:
    // A recording in the journal; while the caller holds it, no other process takes it.
    class Note {
      public:
        Note(QString notePath, QString moviePath, QDateTime startedAt,
             std::unique_ptr<platform::FileLock> lock);
        // The recording is settled: the note goes, unless kept.
        ~Note();
        Note(const Note&) = delete;
        Note& operator=(const Note&) = delete;

        // The recording is not settled yet: the note stays for the next start.
        void keep() { kept = true; }

        const QString moviePath;
        const QDateTime startedAt;

      private:
        QString notePath;
        bool kept = false;
        std::unique_ptr<platform::FileLock> lock;
    };

    explicit RecordingJournal(QString folder);

    // Notes a recording before its file is created; nothing when no note can be written.
    std::unique_ptr<Note> begin(const QString& moviePath, const QDateTime& startedAt) const;
    // The recordings that no running process is writing.
    std::vector<std::unique_ptr<Note>> unfinished() const;

  private:
    QString folder;
};
