// floor_window.cpp - the floors of the desktop window's frames: a GTK window
// laid out as korvitan's (a menu bar with the same three menus above a
// drawing area, a status bar below that follows the pointer) that paints
// its drawing area in the cheapest way there is for what it shows. scripts/bench measures korvitan's CPU time per frame
// against one of these driven by the same input.
//
//   korvitan_floor_window white             plain white
//   korvitan_floor_window picture PNG       a ready picture, kept on the X
//                                           server and painted from there
//   korvitan_floor_window segments GEOMETRY the segments of `korvitan-cli
//                                           geometry ... --window` that can
//                                           touch the area, mapped to pixels
//                                           once; every frame clears a canvas,
//                                           draws them (the rasterizer's pixel
//                                           rule, in a plain loop), copies the
//                                           canvas into an image and puts it
//
// The window is titled "FLOOR" and is 800x600 to start. Every press of a
// key and every move of the pointer with the left button down repaints the
// drawing area, as they would repaint korvitan's; every move of the pointer
// writes the status bar.
#include <gtk/gtk.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

enum FloorKind { FLOOR_WHITE, FLOOR_PICTURE, FLOOR_SEGMENTS };
static FloorKind kind;

// ---- picture ------------------------------------------------------------------------

static cairo_surface_t *picturePng;
static cairo_surface_t *pictureOnServer;

static void PaintPicture(GtkWidget *area, cairo_t *cr) {
    if (!pictureOnServer) {
        int w = cairo_image_surface_get_width(picturePng), h = cairo_image_surface_get_height(picturePng);
        pictureOnServer = gdk_window_create_similar_surface(gtk_widget_get_window(area), CAIRO_CONTENT_COLOR, w, h);
        cairo_t *upload = cairo_create(pictureOnServer);
        cairo_set_source_surface(upload, picturePng, 0, 0);
        cairo_paint(upload);
        cairo_destroy(upload);
    }
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, pictureOnServer, 0, 0);
    cairo_paint(cr);
}

// ---- segments -----------------------------------------------------------------------

struct Segment {
    int64_t x0, y0, x1, y1;
};

static std::vector<Segment> logical;  // as geometry printed them
static int64_t originX, originY, extentW, extentH;
static std::vector<Segment> device;  // the ones that can touch the area, in pixels
static std::vector<uint8_t> clipped;  // 1: reaches outside the area
static int mappedW = -1, mappedH = -1;
static std::vector<uint8_t> canvas;
static cairo_surface_t *image;

static bool ReadGeometry(const char *path) {
    FILE *f = std::fopen(path, "r");
    if (!f) return false;
    char word[32];
    long long a, b;
    while (std::fscanf(f, "%31s %lld %lld", word, &a, &b) == 3 && !(word[0] >= '0' && word[0] <= '9') &&
           word[0] != '-') {
        if (!std::strcmp(word, "extent")) extentW = a, extentH = b;
        if (!std::strcmp(word, "origin")) originX = a, originY = b;
        if (!std::strcmp(word, "viewport")) break;
    }
    long long v[4];
    while (std::fscanf(f, "%lld %lld %lld %lld", &v[0], &v[1], &v[2], &v[3]) == 4)
        logical.push_back({v[0], v[1], v[2], v[3]});
    std::fclose(f);
    return extentW > 0 && extentH > 0;
}

// The rasterizer's mapping: the scale a 32-bit float, halves rounded up.
static int64_t Map(int64_t v, int viewport, int64_t extent) {
    float scale = float(double(viewport) / double(extent));
    return int64_t(std::floor(double(v) * double(scale) + 0.5));
}

static void MapSegments(int w, int h) {
    device.clear();
    clipped.clear();
    for (const Segment &s : logical) {
        Segment d = {Map(s.x0 - originX, w, extentW), Map(s.y0 - originY, h, extentH),
                     Map(s.x1 - originX, w, extentW), Map(s.y1 - originY, h, extentH)};
        if (std::max(d.x0, d.x1) < 0 || std::min(d.x0, d.x1) >= w || std::max(d.y0, d.y1) < 0 ||
            std::min(d.y0, d.y1) >= h)
            continue;
        device.push_back(d);
        clipped.push_back(d.x0 < 0 || d.x0 >= w || d.x1 < 0 || d.x1 >= w || d.y0 < 0 || d.y0 >= h ||
                          d.y1 < 0 || d.y1 >= h);
    }
    mappedW = w;
    mappedH = h;
}

// Steps along the major axis; the minor one moves where the exact line
// passes its half, halves to the lower coordinate; the end is not drawn.
// A line reaching outside starts at its first step inside on the major
// axis and checks the minor one per pixel.
static void DrawLine(const Segment &s, bool check, int w, int h) {
    int64_t dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    int64_t adx = std::llabs(dx), ady = std::llabs(dy);
    bool xMajor = adx >= ady;
    int64_t n = xMajor ? adx : ady, md = xMajor ? ady : adx;
    if (n == 0) return;
    int majorSign = (xMajor ? dx : dy) < 0 ? -1 : 1, minorSign = (xMajor ? dy : dx) < 0 ? -1 : 1;
    int64_t error = minorSign < 0 ? n - 1 : n;
    int64_t major = xMajor ? s.x0 : s.y0, minor = xMajor ? s.y0 : s.x0;
    int64_t first = 0, last = n - 1;
    int64_t majorSize = xMajor ? w : h, minorSize = xMajor ? h : w;
    if (check) {
        // Steps whose major coordinate lies inside.
        int64_t lo = majorSign > 0 ? -major : major - (majorSize - 1);
        int64_t hi = majorSign > 0 ? majorSize - 1 - major : major;
        first = std::max<int64_t>(first, lo);
        last = std::min(last, hi);
        if (first > last) return;
        // The state at step `first`: the minor moves made so far.
        __int128 owed = __int128(2) * md * first - error;
        int64_t moves = owed > 0 ? int64_t((owed + 2 * n - 1) / (2 * n)) : 0;
        error = int64_t(error - __int128(2) * md * first + __int128(2) * n * moves);
        major += majorSign * first;
        minor += minorSign * moves;
    }
    uint8_t *pixels = canvas.data();
    for (int64_t i = first; i <= last; i++) {
        int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
        if (!check || (minor >= 0 && minor < minorSize)) pixels[y * w + x] = 1;
        major += majorSign;
        error -= 2 * md;
        if (error < 0) {
            error += 2 * n;
            minor += minorSign;
        }
    }
}

static void PaintSegments(GtkWidget *area, cairo_t *cr) {
    int w = gtk_widget_get_allocated_width(area), h = gtk_widget_get_allocated_height(area);
    if (w != mappedW || h != mappedH) {
        MapSegments(w, h);
        canvas.assign(size_t(w) * size_t(h), 0);
        if (image) cairo_surface_destroy(image);
        image = gdk_window_create_similar_image_surface(gtk_widget_get_window(area), CAIRO_FORMAT_RGB24, w, h, 1);
    }
    std::memset(canvas.data(), 0, canvas.size());
    for (size_t i = 0; i < device.size(); i++) DrawLine(device[i], clipped[i], w, h);
    cairo_surface_flush(image);
    uint8_t *data = cairo_image_surface_get_data(image);
    const int stride = cairo_image_surface_get_stride(image);
    const uint8_t *source = canvas.data();
    for (int y = 0; y < h; y++) {
        uint32_t *row = reinterpret_cast<uint32_t *>(data + size_t(y) * size_t(stride));
        const uint8_t *from = source + size_t(y) * size_t(w);
        for (int x = 0; x < w; x++) row[x] = (uint32_t(from[x]) - 1u) & 0xFFFFFFu;
    }
    cairo_surface_mark_dirty(image);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_paint(cr);
}

// ---- the window ----------------------------------------------------------------------

static gboolean OnDraw(GtkWidget *area, cairo_t *cr, gpointer) {
    if (kind == FLOOR_PICTURE) {
        PaintPicture(area, cr);
    } else if (kind == FLOOR_SEGMENTS) {
        PaintSegments(area, cr);
    } else {
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
    }
    return TRUE;
}

static GtkWidget *statusBar;

// The status bar says where the pointer is, as korvitan's does.
static void UpdateStatus(double x, double y) {
    char text[128];
    std::snprintf(text, sizeof text, "X %.0f, Y %.0f    65536 vertices, 1000000 edges    zoom 8\u00d7", x, y);
    GtkStatusbar *bar = GTK_STATUSBAR(statusBar);
    guint context = gtk_statusbar_get_context_id(bar, "level");
    gtk_statusbar_remove_all(bar, context);
    gtk_statusbar_push(bar, context, text);
}

static gboolean OnInput(GtkWidget *, GdkEvent *, gpointer area) {
    gtk_widget_queue_draw(GTK_WIDGET(area));
    return TRUE;
}

static gboolean OnMotion(GtkWidget *, GdkEventMotion *event, gpointer area) {
    UpdateStatus(event->x, event->y);
    if (event->state & GDK_BUTTON1_MASK) gtk_widget_queue_draw(GTK_WIDGET(area));
    return TRUE;
}

int main(int argc, char **argv) {
    if (!gtk_init_check(&argc, &argv)) return 1;
    if (argc == 2 && !std::strcmp(argv[1], "white")) {
        kind = FLOOR_WHITE;
    } else if (argc == 3 && !std::strcmp(argv[1], "picture")) {
        kind = FLOOR_PICTURE;
        picturePng = cairo_image_surface_create_from_png(argv[2]);
        if (cairo_surface_status(picturePng) != CAIRO_STATUS_SUCCESS) return 1;
    } else if (argc == 3 && !std::strcmp(argv[1], "segments")) {
        kind = FLOOR_SEGMENTS;
        if (!ReadGeometry(argv[2])) return 1;
    } else {
        std::fprintf(stderr, "usage: korvitan_floor_window white | picture PNG | segments GEOMETRY\n");
        return 2;
    }
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "FLOOR");
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    GtkWidget *bar = gtk_menu_bar_new();
    for (const char *label : {"_File", "_View", "_Help"}) {
        GtkWidget *top = gtk_menu_item_new_with_mnemonic(label);
        GtkWidget *menu = gtk_menu_new();
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), gtk_menu_item_new_with_label("Item"));
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
        gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    }
    GtkWidget *area = gtk_drawing_area_new();
    gtk_widget_set_hexpand(area, TRUE);
    gtk_widget_set_vexpand(area, TRUE);
    g_signal_connect(area, "draw", G_CALLBACK(OnDraw), nullptr);
    gtk_widget_add_events(area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(OnMotion), area);
    g_signal_connect(area, "button-press-event", G_CALLBACK(OnInput), area);
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), area, TRUE, TRUE, 0);
    statusBar = gtk_statusbar_new();
    gtk_box_pack_start(GTK_BOX(box), statusBar, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    g_signal_connect(window, "key-press-event", G_CALLBACK(OnInput), area);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
