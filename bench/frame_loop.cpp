// frame_loop - drives a window one input at a time and waits for the frame
// each input brings, seen from outside the program: the X server's damage
// reports on the window. The program measured has no hook for it.
//
//   frame_loop WINDOW FRAMES drag DX DY     button 1 held down at the pointer,
//                                           the pointer moved by (DX, DY) and
//                                           back, one move a frame
//   frame_loop WINDOW FRAMES keys KEY1 KEY2 the two keys pressed by turns,
//                                           one key a frame
//
// Each frame: one input, then a wait (at most 5 s) for the window's first
// damage report; the time in between is the frame's latency. Whatever else
// the frame draws arrives within a few milliseconds and is taken back
// before the next input, so it is not counted as the next frame. Prints
//
//   frames N latency_ms MEDIAN MEAN odd_ms MEDIAN even_ms MEDIAN
//
// (odd and even: the frames of KEY1 / the move out, and of KEY2 / the move
// back). Exits 1 when an input brings no frame. scripts/bench reads the CPU
// time of the program and of the X server around a run, so a frame's CPU
// time is counted whole, the settling included.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <sys/select.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using Clock = std::chrono::steady_clock;

static Display *display;
static int damageEvent;
static Damage damage;

// Waits up to `seconds` for a damage report on the window; true when one
// came. The report is taken back, so the next drawing reports again.
static bool WaitForDamage(double seconds) {
    Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != damageEvent + XDamageNotify) continue;
            XDamageSubtract(display, damage, None, None);
            XFlush(display);
            return true;
        }
        double left = std::chrono::duration<double>(end - Clock::now()).count();
        if (left <= 0) return false;
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(fd, &ready);
        timeval wait = {long(left), long((left - long(left)) * 1e6)};
        select(fd + 1, &ready, nullptr, nullptr, &wait);
    }
}

// Takes back the rest of a frame: reports that keep coming within a few
// milliseconds of each other.
static void Settle(void) {
    while (WaitForDamage(0.004)) {
    }
}

static double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

static void PressKey(KeyCode code) {
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
}

int main(int argc, char **argv) {
    bool drag = argc == 6 && std::strcmp(argv[3], "drag") == 0;
    bool keys = argc == 6 && std::strcmp(argv[3], "keys") == 0;
    if (!drag && !keys) {
        std::fprintf(stderr, "usage: frame_loop WINDOW FRAMES drag DX DY | keys KEY1 KEY2\n");
        return 2;
    }
    display = XOpenDisplay(nullptr);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!display || !XDamageQueryExtension(display, &eventBase, &errorBase) ||
        !XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        std::fprintf(stderr, "frame_loop: no display with the damage and test extensions\n");
        return 1;
    }
    XDamageQueryExtension(display, &damageEvent, &errorBase);
    Window window = Window(std::strtoul(argv[1], nullptr, 0));
    long frames = std::atol(argv[2]);
    damage = XDamageCreate(display, window, XDamageReportNonEmpty);
    XFlush(display);
    Settle();

    int dx = 0, dy = 0, startX = 0, startY = 0;
    KeyCode codes[2] = {0, 0};
    if (drag) {
        dx = std::atoi(argv[4]);
        dy = std::atoi(argv[5]);
        Window root, child;
        int wx, wy;
        unsigned mask;
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &startX, &startY, &wx, &wy, &mask);
        XTestFakeButtonEvent(display, 1, True, CurrentTime);
        XFlush(display);
        Settle();
    } else {
        for (int k = 0; k < 2; k++) {
            codes[k] = XKeysymToKeycode(display, XStringToKeysym(argv[4 + k]));
            if (!codes[k]) {
                std::fprintf(stderr, "frame_loop: no key %s\n", argv[4 + k]);
                return 2;
            }
        }
    }

    std::vector<double> all, odd, even;
    int status = 0;
    for (long i = 0; i < frames; i++) {
        bool out = i % 2 == 0;
        Clock::time_point sent = Clock::now();
        if (drag) XTestFakeMotionEvent(display, -1, startX + (out ? dx : 0), startY + (out ? dy : 0), CurrentTime);
        else PressKey(codes[out ? 0 : 1]);
        XFlush(display);
        if (!WaitForDamage(5.0)) {
            std::fprintf(stderr, "frame_loop: input %ld brought no frame\n", i);
            status = 1;
            break;
        }
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
        all.push_back(ms);
        (out ? odd : even).push_back(ms);
        Settle();
    }
    if (drag) {
        XTestFakeButtonEvent(display, 1, False, CurrentTime);
        XFlush(display);
        Settle();
    }
    double mean = 0;
    for (double v : all) mean += v;
    if (!all.empty()) mean /= double(all.size());
    std::printf("frames %zu latency_ms %.3f %.3f odd_ms %.3f even_ms %.3f\n", all.size(), Median(all), mean,
                Median(odd), Median(even));
    XDamageDestroy(display, damage);
    XCloseDisplay(display);
    return status;
}
