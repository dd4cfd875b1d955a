#include "main/CaptureService/RecordingJournal.h"
#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QTemporaryDir>

TEST(RecordingJournal, OnlyRecordingsNoProcessIsWritingAreUnfinishedAndSettledNotesGo) {
    QTemporaryDir folder;
    const RecordingJournal journal(folder.path() + "/notes");
    const QDateTime started(QDate(2026, 12, 7), QTime(8, 30, 5), Qt::UTC);
    auto writing = journal.begin("/movies/Recording_a.mov", started);
    ASSERT_TRUE(writing);
    // A note cut short when its writer died names no movie.
    const QString cut = folder.path() + "/notes/Recording_b.mov.recording";
    ASSERT_TRUE(testmedia::writeFile(cut, "2026-12-07T08:31:00Z"));

    // The writer of the first is alive: it is not offered, and the cut note is cleared away.
    EXPECT_TRUE(journal.unfinished().empty());
    EXPECT_FALSE(QFile::exists(cut));

    // Once its writer has let go without settling it, it is offered, with its start.
    writing->keep();
    writing.reset();
    auto found = journal.unfinished();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->moviePath, "/movies/Recording_a.mov");
    EXPECT_EQ(found[0]->startedAt, started);
    // Taken by this caller, it is offered to nobody else until settled.
    EXPECT_TRUE(journal.unfinished().empty());
    found.clear();
    EXPECT_TRUE(QDir(folder.path() + "/notes").isEmpty());
}
