// Prints the keymap a Wayland compositor hands its clients' keyboards, as XKB text, so that a
// test can see what each key produces there. Needs no focus: the keymap comes with the
// keyboard.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <cstdio>
#include <cstring>

namespace {

struct Probe {
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    bool printed = false;
};

void keymap(void* data, wl_keyboard*, uint32_t, int32_t fd, uint32_t size) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
        std::fwrite(text, 1, strnlen(static_cast<const char*>(text), size), stdout);
        munmap(text, size);
        static_cast<Probe*>(data)->printed = true;
    }
    close(fd);
}
void enter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void leave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void key(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void modifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void repeatInfo(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener keyboardListener = {keymap, enter, leave, key, modifiers, repeatInfo};

void capabilities(void* data, wl_seat* seat, uint32_t capabilities) {
    auto* probe = static_cast<Probe*>(data);
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !probe->keyboard) {
        probe->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(probe->keyboard, &keyboardListener, probe);
    }
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener seatListener = {capabilities, seatName};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    auto* probe = static_cast<Probe*>(data);
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !probe->seat) {
        probe->seat =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 5));
        wl_seat_add_listener(probe->seat, &seatListener, probe);
    }
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener registryListener = {global, globalRemove};

}  // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        return 1;
    }
    Probe probe;
    wl_registry_add_listener(wl_display_get_registry(display), &registryListener, &probe);
    for (int round = 0; round < 3 && !probe.printed; ++round) {
        wl_display_roundtrip(display);
    }
    wl_display_disconnect(display);
    return probe.printed ? 0 : 1;
}
