#pragma once

#include <QDateTime>
#include <QString>

// The one naming rule for capture files: base_stamp.ext, then base_stamp_1.ext, _2, … while
// a file or folder already holds the candidate's name. Answers the absolute path.
QString chooseCaptureFilePath(const QString& folder, const QString& base, const QString& extension,
                              const QDateTime& now);
