#pragma once

#include "platform/KeyMappingTool.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace platform {

// The XKB options KWin applies from a kxkbrc: the [Layout] group's Options, which it reads
// only under ResetOldOptions=true.
QStringList kxkbrcOptions(const QByteArray& text);
// The kxkbrc with our option joined to the options in effect; every other byte as it was.
QByteArray kxkbrcWithOurOption(const QByteArray& text);
// The kxkbrc with our option taken out: exactly the file as it was before, when that is known
// and nothing else changed since, otherwise only our option removed.
QByteArray kxkbrcWithoutOurOption(const QByteArray& text, const std::optional<QByteArray>& before);

// Our option in Plasma's keyboard settings file, which KWin reads again when told to. The
// file as it was before is kept beside our own files until our option is taken out again.
class KdeMappingTool : public KeyMappingTool {
  public:
    explicit KdeMappingTool(QString configPath = defaultConfigPath(),
                            QString beforePath = defaultBeforePath());

    bool applyMapping(bool enabled) override;
    bool isMappingApplied() override;

  private:
    static QString defaultConfigPath();
    static QString defaultBeforePath();

    QString configPath;
    QString beforePath;
};

}  // namespace platform
