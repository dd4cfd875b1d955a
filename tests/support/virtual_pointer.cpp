// Moves and presses a pointer on a wlroots desktop the way a mouse would, through the
// virtual-pointer protocol, for tests that drag on Wayland. Reads commands from standard
// input, one per line, and stays connected between them so a drag is one pointer:
//   move X Y   (layout coordinates, logical)
//   down | up  (left button)
// and answers "ok" after each once the compositor has handled it.
#include <linux/input-event-codes.h>
#include <wayland-client.h>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

// The protocol's two interfaces, declared by hand: only the requests used here are named,
// and their order is the protocol's, which fixes their opcodes.
const wl_interface* pointerTypes[] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, &wl_seat_interface, nullptr};
const wl_message pointerRequests[] = {
    {"motion", "uff", pointerTypes},   {"motion_absolute", "uuuuu", pointerTypes},
    {"button", "uuu", pointerTypes},   {"axis", "uuf", pointerTypes},
    {"frame", "", pointerTypes},       {"axis_source", "u", pointerTypes},
    {"axis_stop", "uu", pointerTypes}, {"axis_discrete", "uufi", pointerTypes},
    {"destroy", "", pointerTypes},
};
const wl_interface virtualPointerInterface = {"zwlr_virtual_pointer_v1", 2, 9,
                                              pointerRequests,           0, nullptr};
const wl_interface* managerTypes[] = {&wl_seat_interface, &virtualPointerInterface};
const wl_message managerRequests[] = {
    {"create_virtual_pointer", "?on", managerTypes},
    {"destroy", "", managerTypes},
};
const wl_interface managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 2, managerRequests, 0, nullptr};

enum PointerRequest : uint32_t { motionAbsolute = 1, button = 2, frame = 4 };

struct Globals {
    wl_proxy* manager = nullptr;
    wl_seat* seat = nullptr;
};

void announce(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, managerInterface.name) == 0) {
        globals->manager =
            static_cast<wl_proxy*>(wl_registry_bind(registry, name, &managerInterface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
}

void withdraw(void*, wl_registry*, uint32_t) {}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: virtual_pointer LAYOUT_WIDTH LAYOUT_HEIGHT\n", stderr);
        return 2;
    }
    const uint32_t width = static_cast<uint32_t>(std::stoul(argv[1]));
    const uint32_t height = static_cast<uint32_t>(std::stoul(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fputs("no Wayland display\n", stderr);
        return 1;
    }
    Globals globals;
    const wl_registry_listener listener{announce, withdraw};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &globals);
    wl_display_roundtrip(display);
    if (!globals.manager || !globals.seat) {
        std::fputs("the compositor offers no virtual pointer\n", stderr);
        return 1;
    }
    auto* pointer = wl_proxy_marshal_constructor(globals.manager, 0, &virtualPointerInterface,
                                                 globals.seat, nullptr);
    uint32_t time = 0;
    std::string command;
    while (std::cin >> command) {
        time += 10;
        if (command == "move") {
            uint32_t x = 0;
            uint32_t y = 0;
            std::cin >> x >> y;
            wl_proxy_marshal(pointer, motionAbsolute, time, x, y, width, height);
        } else if (command == "down" || command == "up") {
            wl_proxy_marshal(pointer, button, time, BTN_LEFT,
                             command == "down" ? WL_POINTER_BUTTON_STATE_PRESSED
                                               : WL_POINTER_BUTTON_STATE_RELEASED);
        } else {
            std::fprintf(stderr, "unknown command %s\n", command.c_str());
            continue;
        }
        wl_proxy_marshal(pointer, frame);
        wl_display_roundtrip(display);
        std::cout << "ok" << std::endl;
    }
    wl_display_disconnect(display);
    return 0;
}
