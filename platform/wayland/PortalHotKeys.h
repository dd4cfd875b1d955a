#pragma once

#include "platform/HotKeys.h"

#include <QDBusMessage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantMap>
#include <memory>

namespace platform {

class PortalRequest;

// GNOME's hot keys: through the portal where it is offered, else GNOME's own keybindings.
std::shared_ptr<HotKeys> gnomeHotKeys();

// Hot keys through the desktop's GlobalShortcuts portal: one session holding both, asked for
// with Control and the key, which the desktop may let the user change. The session token is
// fixed, since KDE names its shortcut list after it: a new name each time would leave the old
// list holding the keys.
class PortalHotKeys : public QObject, public HotKeys {
    Q_OBJECT
  public:
    PortalHotKeys();
    ~PortalHotKeys() override;

    void install(const std::vector<HotKey>& keys, std::function<void(int id)> onPress) override;
    void uninstall() override;

  protected:
    // The portal refused or failed the keys; they are not bound.
    virtual void portalFailed(const QString& reason);

    PortalRequest* request;

  private Q_SLOTS:
    // Activated and Deactivated, told apart by the message's member.
    void onShortcutSignal(const QDBusMessage& message);

  private:
    void pressed(const QString& shortcut);
    void released(const QString& shortcut);
    void sessionCreated();
    QVariant shortcutList() const;

    std::vector<HotKey> keys;
    std::function<void(int id)> onPress;
    QString sessionPath;
    QSet<QString> held;
    bool releasesReported = false;
    bool installed = false;
};

}  // namespace platform
