#include "platform/x11/X11HotKeys.h"

#include "platform/x11/X11Connection.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
// xkb.h names a field "explicit", which C++ reserves.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>

namespace platform {

namespace {

constexpr uint16_t modifierBits = 0xff;
constexpr xcb_keysym_t numLockKeysym = 0xff7f;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

// Keycodes by XKB key name, so the grab follows the physical key rather than its symbol.
std::vector<std::pair<QByteArray, uint8_t>> keycodesByName(xcb_connection_t* connection) {
    Reply<xcb_xkb_use_extension_reply_t>(xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
        nullptr));
    Reply<xcb_xkb_get_names_reply_t> reply(xcb_xkb_get_names_reply(
        connection,
        xcb_xkb_get_names(connection, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_NAME_DETAIL_KEY_NAMES),
        nullptr));
    std::vector<std::pair<QByteArray, uint8_t>> names;
    if (!reply) {
        return names;
    }
    xcb_xkb_get_names_value_list_t list{};
    xcb_xkb_get_names_value_list_unpack(xcb_xkb_get_names_value_list(reply.get()), reply->nTypes,
                                        reply->indicators, reply->virtualMods, reply->groupNames,
                                        reply->nKeys, reply->nKeyAliases, reply->nRadioGroups,
                                        reply->which, &list);
    if (!list.keyNames) {
        return names;
    }
    for (int index = 0; index < reply->nKeys; ++index) {
        const char* name = list.keyNames[index].name;
        names.emplace_back(QByteArray(name, static_cast<int>(qstrnlen(name, 4))),
                           static_cast<uint8_t>(reply->firstKey + index));
    }
    return names;
}

// NumLock is whichever modifier carries the Num_Lock key; usually Mod2, but not by rule.
uint16_t findNumLockMask(xcb_connection_t* connection) {
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    if (!symbols) {
        return 0;
    }
    std::unique_ptr<xcb_keycode_t, FreeReply> numLockKeys(
        xcb_key_symbols_get_keycode(symbols, numLockKeysym));
    xcb_key_symbols_free(symbols);
    Reply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!numLockKeys || !mapping) {
        return 0;
    }
    const xcb_keycode_t* table = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int slot = 0; slot < perModifier; ++slot) {
            const xcb_keycode_t keycode = table[modifier * perModifier + slot];
            for (const xcb_keycode_t* key = numLockKeys.get(); *key != XCB_NO_SYMBOL; ++key) {
                if (keycode != 0 && keycode == *key) {
                    return static_cast<uint16_t>(1u << modifier);
                }
            }
        }
    }
    return 0;
}

std::vector<uint16_t> lockVariants(uint16_t numLockMask) {
    std::vector<uint16_t> variants{XCB_MOD_MASK_CONTROL, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK};
    if (numLockMask != 0) {
        variants.push_back(XCB_MOD_MASK_CONTROL | numLockMask);
        variants.push_back(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK | numLockMask);
    }
    return variants;
}

}  // namespace

bool isExactlyControl(uint16_t state, uint16_t numLockMask) {
    const uint16_t ignored = XCB_MOD_MASK_LOCK | numLockMask;
    return (state & modifierBits & ~ignored) == XCB_MOD_MASK_CONTROL;
}

bool RepeatFilter::press(uint8_t keycode, uint32_t time) {
    if (!grabbingKey) {
        grabbingKey = keycode;
    }
    const bool wasHeld = !held.insert(keycode).second;
    const auto released = lastRelease.find(keycode);
    const bool pairedWithRelease = released != lastRelease.end() && released->second == time;
    return !wasHeld && !pairedWithRelease;
}

void RepeatFilter::release(uint8_t keycode, uint32_t time) {
    lastRelease[keycode] = time;
    held.erase(keycode);
    // Once the grab ends, other keys' releases go elsewhere; forget them rather than let a
    // stale "held" swallow the next real press.
    if (grabbingKey == keycode) {
        grabbingKey.reset();
        held.clear();
    }
}

void RepeatFilter::clear() {
    grabbingKey.reset();
    held.clear();
    lastRelease.clear();
}

X11HotKeys::X11HotKeys() = default;

X11HotKeys::~X11HotKeys() {
    uninstall();
}

void X11HotKeys::install(const std::vector<HotKey>& wanted, std::function<void(int id)> handler) {
    if (installed) {
        return;
    }
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return;
    }
    keys = wanted;
    onPress = std::move(handler);
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    xkbFirstEvent = xkb && xkb->present ? xkb->first_event : 0;
    installed = true;
    QCoreApplication::instance()->installNativeEventFilter(this);
    grabAll();
}

void X11HotKeys::uninstall() {
    if (!installed) {
        return;
    }
    installed = false;
    if (QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
    ungrabAll();
    onPress = nullptr;
    repeats.clear();
}

void X11HotKeys::grabAll() {
    xcb_connection_t* connection = x11Connection();
    if (!connection) {
        return;
    }
    const xcb_window_t root = x11RootWindow(connection);
    numLockMask = findNumLockMask(connection);
    const auto names = keycodesByName(connection);
    std::vector<xcb_void_cookie_t> cookies;
    for (const HotKey& key : keys) {
        for (const auto& [name, keycode] : names) {
            if (name != key.keyName) {
                continue;
            }
            grabs.push_back({key.id, keycode});
            for (uint16_t modifiers : lockVariants(numLockMask)) {
                cookies.push_back(xcb_grab_key_checked(connection, 0, root, modifiers, keycode,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
            }
        }
    }
    // BadAccess means another program owns that combination; the other hot key still works.
    for (const xcb_void_cookie_t cookie : cookies) {
        std::free(xcb_request_check(connection, cookie));
    }
}

void X11HotKeys::ungrabAll() {
    xcb_connection_t* connection = x11Connection();
    if (connection) {
        const xcb_window_t root = x11RootWindow(connection);
        for (const Grab& grab : grabs) {
            xcb_ungrab_key(connection, grab.keycode, root, XCB_MOD_MASK_ANY);
        }
        xcb_flush(connection);
    }
    grabs.clear();
}

void X11HotKeys::scheduleRegrab() {
    if (regrabPending) {
        return;
    }
    // A layout change arrives as a burst of notifications; one regrab after it is enough.
    regrabPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            regrabPending = false;
            if (installed) {
                ungrabAll();
                grabAll();
            }
        },
        Qt::QueuedConnection);
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!installed || eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        return handleKey(type, event);
    }
    if (isMappingChange(type, event)) {
        scheduleRegrab();
    }
    return false;
}

bool X11HotKeys::isMappingChange(uint8_t type, const void* event) const {
    if (type == XCB_MAPPING_NOTIFY) {
        return static_cast<const xcb_mapping_notify_event_t*>(event)->request !=
               XCB_MAPPING_POINTER;
    }
    if (xkbFirstEvent == 0 || type != xkbFirstEvent) {
        return false;
    }
    const uint8_t xkbType = static_cast<const xcb_xkb_map_notify_event_t*>(event)->xkbType;
    return xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY || xkbType == XCB_XKB_MAP_NOTIFY;
}

bool X11HotKeys::handleKey(uint8_t type, const void* message) {
    const auto* event = static_cast<const xcb_key_press_event_t*>(message);
    const Grab* grab = nullptr;
    for (const Grab& candidate : grabs) {
        if (candidate.keycode == event->detail) {
            grab = &candidate;
        }
    }
    if (!grab) {
        return false;
    }
    const bool toOurGrab = event->event == event->root;
    if (type == XCB_KEY_RELEASE) {
        // A window of ours that took the keyboard while the key was down (the overlay) gets
        // the release instead of the grab; the key is up all the same.
        repeats.release(event->detail, event->time);
        return toOurGrab;
    }
    if (!toOurGrab) {
        return false;
    }
    // X hands us the whole keyboard until release, so modifiers are checked on every press.
    if (repeats.press(event->detail, event->time) && isExactlyControl(event->state, numLockMask)) {
        const int id = grab->id;
        QMetaObject::invokeMethod(
            this,
            [this, id] {
                if (installed && onPress) {
                    const auto handler = onPress;
                    handler(id);
                }
            },
            Qt::QueuedConnection);
    }
    return true;
}

}  // namespace platform
