#pragma once

#include <QString>

namespace platform {

QString homeFolder();
// The user's documents folder; captures live in "Quorvastelin" beneath it.
QString documentsFolder();
// ~/.local/share/Quorvastelin: history.db and the migration marker.
QString supportFolder();

}  // namespace platform
