// damage_count - counts how often a window's picture changes, from outside
// the program that draws it: the X server's damage reports on the window.
//
//   damage_count WINDOW SECONDS
//
// Prints the number of times the window was drawn on during SECONDS (each
// report is taken back at once, so updates that follow one another closely
// count once each). scripts/bench uses it for the paint rate while a level
// is dragged; the program measured has no hook for it.
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <sys/select.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: damage_count WINDOW SECONDS\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "damage_count: no display\n");
        return 1;
    }
    int eventBase = 0, errorBase = 0;
    if (!XDamageQueryExtension(display, &eventBase, &errorBase)) {
        std::fprintf(stderr, "damage_count: the server has no damage extension\n");
        return 1;
    }
    Window window = Window(std::strtoul(argv[1], nullptr, 0));
    Damage damage = XDamageCreate(display, window, XDamageReportNonEmpty);
    XFlush(display);
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(std::atof(argv[2]));
    long count = 0;
    int fd = ConnectionNumber(display);
    while (std::chrono::steady_clock::now() < end) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != eventBase + XDamageNotify) continue;
            count++;
            XDamageSubtract(display, damage, None, None);
        }
        XFlush(display);
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(fd, &ready);
        timeval wait = {0, 10000};
        select(fd + 1, &ready, nullptr, nullptr, &wait);
    }
    std::printf("%ld\n", count);
    XDamageDestroy(display, damage);
    XCloseDisplay(display);
    return 0;
}
