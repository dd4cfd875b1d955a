#include "platform/x11/SetxkbmapTool.h"

#include "platform/x11/X11Connection.h"

#include <xcb/xcb.h>
#include <QGuiApplication>
#include <cstdlib>

namespace platform {

namespace {

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(qstrlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

}  // namespace

KeyboardNames parseKeyboardNames(const QByteArray& property) {
    // Five NUL-terminated strings; a server that leaves trailing ones out means them empty.
    QList<QByteArray> parts = property.split('\0');
    while (parts.size() < 5) {
        parts.append(QByteArray());
    }
    return KeyboardNames{QString::fromUtf8(parts[0]), QString::fromUtf8(parts[1]),
                         QString::fromUtf8(parts[2]), QString::fromUtf8(parts[3]),
                         splitXkbOptions(QString::fromUtf8(parts[4]))};
}

QStringList keyMappingArguments(const KeyboardNames& current, bool enabled) {
    QStringList arguments;
    const auto keep = [&arguments](const char* flag, const QString& value) {
        if (!value.isEmpty()) {
            arguments << QString::fromLatin1(flag) << value;
        }
    };
    keep("-rules", current.rules);
    keep("-model", current.model);
    keep("-layout", current.layout);
    keep("-variant", current.variant);
    arguments << QStringLiteral("-option") << QString();
    const QString ours = QString::fromLatin1(superAsControlOption);
    for (const QString& option : current.options) {
        if (option != ours) {
            arguments << QStringLiteral("-option") << option;
        }
    }
    if (enabled) {
        arguments << QStringLiteral("-option") << ours;
    }
    return arguments;
}

std::optional<KeyboardNames> readServerKeyboardNames() {
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return std::nullopt;
    }
    return readKeyboardNames(connection);
}

std::optional<KeyboardNames> readKeyboardNames(xcb_connection_t* connection) {
    const xcb_atom_t atom = internAtom(connection, "_XKB_RULES_NAMES");
    if (atom == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const xcb_window_t root = x11RootWindow(connection);
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, root, atom, XCB_ATOM_STRING, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    if (!reply) {
        return std::nullopt;
    }
    const QByteArray value(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    const xcb_atom_t type = reply->type;
    const uint8_t format = reply->format;
    std::free(reply);
    // Without the property setxkbmap falls back to its own defaults, as it would for the user.
    if (type == XCB_ATOM_NONE) {
        return KeyboardNames{};
    }
    if (type != XCB_ATOM_STRING || format != 8) {
        return std::nullopt;
    }
    return parseKeyboardNames(value);
}

SetxkbmapTool::SetxkbmapTool(std::shared_ptr<ProcessRunner> runner, QString program,
                             NamesReader readNames)
    : runner(std::move(runner)), program(std::move(program)), readNames(std::move(readNames)) {}

bool SetxkbmapTool::applyMapping(bool enabled) {
    // Without the current description we would overwrite the user's layout, so we do nothing.
    const std::optional<KeyboardNames> current = readNames();
    if (!current) {
        return false;
    }
    return runner->run(program, keyMappingArguments(*current, enabled)).succeeded();
}

bool SetxkbmapTool::isMappingApplied() {
    const std::optional<KeyboardNames> current = readNames();
    return current && current->options.contains(QString::fromLatin1(superAsControlOption));
}

}  // namespace platform
