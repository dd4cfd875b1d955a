#pragma once

#include "platform/KeyMappingTool.h"

#include <QString>
#include <QStringList>

namespace platform {

// The XKB options KWin applies from a kxkbrc's text: the [Layout] group's Options, which it
// reads only under ResetOldOptions=true.
QStringList kxkbrcOptions(const QString& text);
// The kxkbrc text with these options in effect, every other line as it was.
QString kxkbrcWithOptions(const QString& text, const QStringList& options);

// Our option in Plasma's keyboard settings file, which KWin reads again when told to.
class KdeMappingTool : public KeyMappingTool {
  public:
    explicit KdeMappingTool(QString configPath = defaultConfigPath());

    bool applyMapping(bool enabled) override;
    bool isMappingApplied() override;

  private:
    static QString defaultConfigPath();
    std::optional<QString> readConfig() const;

    QString configPath;
};

}  // namespace platform
