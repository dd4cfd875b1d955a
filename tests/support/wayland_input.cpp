// What tests need of a Wayland desktop's input that no tool gives.
//   wayland_input keymap: prints the keymap the compositor hands its clients' keyboards.
//   wayland_input pointer LAYOUT_WIDTH LAYOUT_HEIGHT: a pointer plugged in through the wlroots
//   virtual-pointer protocol, or KWin's fake input, driven by lines on standard input ("move X Y"
//   in layout points, "down", "up" for the left button, and on KWin "key CODE" to type an evdev
//   key), each answered "ok" once the compositor has handled it.
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

// The protocol's two interfaces, declared by hand: only the requests up to the last one used,
// in the protocol's order, which fixes their opcodes.
const wl_interface* pointerTypes[] = {
    nullptr, nullptr, nullptr, nullptr, nullptr, &wl_seat_interface, nullptr};
const wl_message pointerRequests[] = {
    {"motion", "uff", pointerTypes}, {"motion_absolute", "uuuuu", pointerTypes},
    {"button", "uuu", pointerTypes}, {"axis", "uuf", pointerTypes},
    {"frame", "", pointerTypes},
};
const wl_interface virtualPointerInterface = {"zwlr_virtual_pointer_v1", 2, 5,
                                              pointerRequests,           0, nullptr};
const wl_interface* managerTypes[] = {&wl_seat_interface, &virtualPointerInterface};
const wl_message managerRequests[] = {{"create_virtual_pointer", "?on", managerTypes}};
const wl_interface managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 1, managerRequests, 0, nullptr};

enum PointerRequest : uint32_t { motionAbsolute = 1, button = 2, frame = 4 };

// KWin's fake input, up to its keyboard keys (version 4).
const wl_interface* fakeInputTypes[] = {nullptr, nullptr};
const wl_message fakeInputRequests[] = {
    {"authenticate", "ss", fakeInputTypes},  {"pointer_motion", "ff", fakeInputTypes},
    {"button", "uu", fakeInputTypes},        {"axis", "uf", fakeInputTypes},
    {"touch_down", "2uff", fakeInputTypes},  {"touch_motion", "2uff", fakeInputTypes},
    {"touch_up", "2u", fakeInputTypes},      {"touch_cancel", "2", fakeInputTypes},
    {"touch_frame", "2", fakeInputTypes},    {"pointer_motion_absolute", "3ff", fakeInputTypes},
    {"keyboard_key", "4uu", fakeInputTypes},
};
const wl_interface fakeInputInterface = {"org_kde_kwin_fake_input", 4, 11,
                                         fakeInputRequests,         0, nullptr};

enum FakeInputRequest : uint32_t {
    authenticate = 0,
    fakeButton = 2,
    fakeMotionAbsolute = 9,
    keyboardKey = 10
};

struct Globals {
    wl_proxy* manager = nullptr;
    wl_proxy* fakeInput = nullptr;
    wl_seat* seat = nullptr;
    bool keymapPrinted = false;
};

void announce(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* globals = static_cast<Globals*>(data);
    if (std::strcmp(interface, managerInterface.name) == 0) {
        globals->manager =
            static_cast<wl_proxy*>(wl_registry_bind(registry, name, &managerInterface, 1));
    } else if (std::strcmp(interface, fakeInputInterface.name) == 0) {
        globals->fakeInput =
            static_cast<wl_proxy*>(wl_registry_bind(registry, name, &fakeInputInterface, 4));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->seat) {
        // Version 1: a seat without names and a keyboard without repeat information, so the
        // only events here are the ones listened to.
        globals->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    }
}
void withdraw(void*, wl_registry*, uint32_t) {}

void printKeymap(void* data, wl_keyboard*, uint32_t, int32_t fd, uint32_t size) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
        std::fwrite(text, 1, strnlen(static_cast<const char*>(text), size), stdout);
        munmap(text, size);
        static_cast<Globals*>(data)->keymapPrinted = true;
    }
    close(fd);
}
const wl_keyboard_listener keyboardListener = {printKeymap, nullptr, nullptr,
                                               nullptr,     nullptr, nullptr};

void capabilities(void* data, wl_seat* seat, uint32_t capabilities) {
    if (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) {
        wl_keyboard_add_listener(wl_seat_get_keyboard(seat), &keyboardListener, data);
    }
}
const wl_seat_listener seatListener = {capabilities, nullptr};

// Either protocol: the wlroots virtual pointer, or KWin's fake input, which takes layout points
// directly and types keys besides.
int movePointer(wl_display* display, const Globals& globals, uint32_t width, uint32_t height) {
    wl_proxy* pointer = nullptr;
    if (globals.manager) {
        pointer = wl_proxy_marshal_constructor(globals.manager, 0, &virtualPointerInterface,
                                               globals.seat, nullptr);
    } else {
        wl_proxy_marshal(globals.fakeInput, authenticate, "wayland_input", "input for tests");
    }
    uint32_t time = 0;
    std::string command;
    while (std::cin >> command) {
        time += 10;
        uint32_t x = 0;
        uint32_t y = 0;
        const uint32_t state =
            command == "down" ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED;
        if (command == "move") {
            std::cin >> x >> y;
            if (pointer) {
                wl_proxy_marshal(pointer, motionAbsolute, time, x, y, width, height);
            } else {
                wl_proxy_marshal(globals.fakeInput, fakeMotionAbsolute, wl_fixed_from_int(x),
                                 wl_fixed_from_int(y));
            }
        } else if (command == "key") {
            std::cin >> x;
            wl_proxy_marshal(globals.fakeInput, keyboardKey, x, WL_KEYBOARD_KEY_STATE_PRESSED);
            wl_display_roundtrip(display);
            wl_proxy_marshal(globals.fakeInput, keyboardKey, x, WL_KEYBOARD_KEY_STATE_RELEASED);
        } else if (pointer) {
            wl_proxy_marshal(pointer, button, time, BTN_LEFT, state);
        } else {
            wl_proxy_marshal(globals.fakeInput, fakeButton, BTN_LEFT, state);
        }
        if (pointer) {
            wl_proxy_marshal(pointer, frame);
        }
        wl_display_roundtrip(display);
        std::cout << "ok" << std::endl;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    wl_display* display = wl_display_connect(nullptr);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!display || (mode != "keymap" && (mode != "pointer" || argc != 4))) {
        std::fputs("usage: wayland_input keymap | pointer LAYOUT_WIDTH LAYOUT_HEIGHT\n", stderr);
        return 2;
    }
    Globals globals;
    const wl_registry_listener listener{announce, withdraw};
    wl_registry_add_listener(wl_display_get_registry(display), &listener, &globals);
    wl_display_roundtrip(display);
    if (!globals.seat || (mode == "pointer" && !globals.manager && !globals.fakeInput)) {
        std::fputs("the compositor offers no seat or no virtual pointer\n", stderr);
        return 1;
    }
    int status = 0;
    if (mode == "keymap") {
        wl_seat_add_listener(globals.seat, &seatListener, &globals);
        for (int round = 0; round < 3 && !globals.keymapPrinted; ++round) {
            wl_display_roundtrip(display);
        }
        status = globals.keymapPrinted ? 0 : 1;
    } else {
        status = movePointer(display, globals, std::stoul(argv[2]), std::stoul(argv[3]));
    }
    wl_display_disconnect(display);
    return status;
}
