// icon_check.cpp - loads an icon by name through GTK's icon theme at every
// size a desktop commonly asks for: menus (16 to 32), the window (48),
// docks (64), the application grid (96 and up), each also at scale 2.
//
// Usage: icon_check ICONS_DIR NAME
//
// ICONS_DIR (an installed prefix's share/icons) is searched first, then the
// system's folders, so the theme's own index is used as on a desktop. For
// each size at scale 1 and 2 the icon must resolve to a file under
// ICONS_DIR and load as a pixbuf of exactly size x scale pixels square, as
// an image widget given a pixel size loads it (GTK_ICON_LOOKUP_FORCE_SIZE):
// a file gdk-pixbuf cannot read fails, where a desktop shows its
// broken-image icon. Prints one line per failure and exits 1 if any. Needs
// no display.
#include <cstdio>
#include <cstring>
#include <gtk/gtk.h>

static const int SIZES[] = {16, 22, 24, 32, 48, 64, 96, 128, 256};
static const int SCALES[] = {1, 2};

// Whether the icon loads from under dir as a pixbuf of size x scale pixels.
static int LoadsAt(GtkIconTheme *theme, const char *dir, const char *name, int size, int scale) {
    GtkIconInfo *info = gtk_icon_theme_lookup_icon_for_scale(theme, name, size, scale, GTK_ICON_LOOKUP_FORCE_SIZE);
    if (!info) {
        std::printf("%s at %d@%d: not found\n", name, size, scale);
        return 0;
    }
    const char *file = gtk_icon_info_get_filename(info);
    int ok = 1;
    if (!file || std::strncmp(file, dir, std::strlen(dir)) != 0) {
        std::printf("%s at %d@%d: found outside %s: %s\n", name, size, scale, dir, file ? file : "(none)");
        ok = 0;
    }
    GError *error = nullptr;
    GdkPixbuf *pixbuf = ok ? gtk_icon_info_load_icon(info, &error) : nullptr;
    if (ok && !pixbuf) {
        std::printf("%s at %d@%d: %s does not load: %s\n", name, size, scale, file, error->message);
        g_error_free(error);
        ok = 0;
    }
    if (pixbuf) {
        int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
        if (w != size * scale || h != size * scale) {
            std::printf("%s at %d@%d: %s loads as %dx%d\n", name, size, scale, file, w, h);
            ok = 0;
        }
        g_object_unref(pixbuf);
    }
    g_object_unref(info);
    return ok;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: icon_check ICONS_DIR NAME\n");
        return 2;
    }
    const char *dir = argv[1], *name = argv[2];
    GtkIconTheme *theme = gtk_icon_theme_new();
    gtk_icon_theme_set_custom_theme(theme, "hicolor");
    gtk_icon_theme_prepend_search_path(theme, dir);
    int failures = 0;
    for (int scale : SCALES)
        for (int size : SIZES) failures += !LoadsAt(theme, dir, name, size, scale);
    g_object_unref(theme);
    return failures ? 1 : 0;
}
