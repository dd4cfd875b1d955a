#pragma once

#include <QString>

namespace platform {

// Where xdg-desktop-portal answers on the session bus, and the object each request returns.
inline const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
inline const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

}  // namespace platform
