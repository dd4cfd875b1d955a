#include "platform/x11/X11PointerPixels.h"

#include "platform/x11/X11Connection.h"

#include <xcb/xinput.h>
#include <QCoreApplication>

namespace platform {

namespace {

constexpr double fixedPointOne = 65536.0;

}  // namespace

X11PointerPixels::X11PointerPixels() {
    xcb_connection_t* connection = x11Connection();
    if (connection == nullptr) {
        return;
    }
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection, &xcb_input_id);
    inputOpcode = input != nullptr && input->present ? input->major_opcode : 0;
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11PointerPixels::~X11PointerPixels() {
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

std::optional<QPointF> X11PointerPixels::at(Kind kind, uint64_t timestamp) const {
    const Sample& sample = samples[static_cast<int>(kind)];
    if (sample.time != timestamp) {
        return std::nullopt;
    }
    return sample.pixel;
}

void X11PointerPixels::record(Kind kind, uint32_t time, QPointF pixel) {
    samples[static_cast<int>(kind)] = {time, pixel};
}

bool X11PointerPixels::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7f;
    if (type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE || type == XCB_MOTION_NOTIFY) {
        const auto* core = static_cast<const xcb_button_press_event_t*>(message);
        const Kind kind = type == XCB_BUTTON_PRESS     ? Kind::press
                          : type == XCB_BUTTON_RELEASE ? Kind::release
                                                       : Kind::motion;
        record(kind, core->time, QPointF(core->root_x, core->root_y));
        return false;
    }
    const auto* generic = static_cast<const xcb_ge_generic_event_t*>(message);
    if (type != XCB_GE_GENERIC || inputOpcode == 0 || generic->extension != inputOpcode) {
        return false;
    }
    // Press, release and motion share one layout in the input extension.
    const auto* device = static_cast<const xcb_input_button_press_event_t*>(message);
    std::optional<Kind> kind;
    switch (generic->event_type) {
        case XCB_INPUT_BUTTON_PRESS:
            kind = Kind::press;
            break;
        case XCB_INPUT_BUTTON_RELEASE:
            kind = Kind::release;
            break;
        case XCB_INPUT_MOTION:
            kind = Kind::motion;
            break;
        default:
            break;
    }
    if (kind) {
        record(*kind, device->time,
               QPointF(device->root_x / fixedPointOne, device->root_y / fixedPointOne));
    }
    return false;
}

}  // namespace platform
