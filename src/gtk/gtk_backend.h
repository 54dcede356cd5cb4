// gtk_backend.h - the state the GTK backend's files share.
//
// korvitan, the Linux desktop program, is one GtkWindow holding, top to
// bottom, a menu bar, an info bar (shown only while it has something to
// say), the drawing area and a status bar. The backend is split by what it
// talks to:
//
//   gtk_main.cpp      main(), the window, its menu bar and their signals
//   gtk_paint.cpp     the paint cycle's device context, the kept picture and
//                     the busy cursor
//   gtk_dialogs.cpp   message box, open-file dialog, map list, About box
//
// Everything else (what a command does, which view is drawn, the map list's
// rules) is in src/shell; these files only translate to and from GTK.
#ifndef KORVITAN_GTK_BACKEND_H
#define KORVITAN_GTK_BACKEND_H

#include <gtk/gtk.h>

struct PlatWindow {
    GtkWidget *window;  // the GtkWindow; null once it has been destroyed
    GtkWidget *area;    // the drawing area: the client area of the program
    cairo_t *cr;        // the draw handler's context while a paint runs
    GtkWidget *infoBar;    // what a reload or an overlay found wrong
    GtkWidget *infoLabel;
    GtkWidget *statusBar;  // the point under the pointer, the level's size, the zoom
};

// The one main window of the program.
extern PlatWindow gtkMainWindow;

// The drawing area's size in device pixels: the allocation times the
// monitor's scale factor, so every line is one real pixel wide on any screen.
void GtkClientPixels(PlatWindow *window, int *width, int *height);

// Paints the drawing area from the kept finished picture when the model, the
// view and the size are what they were when it was drawn. Returns 0, having
// painted nothing, when a paint must draw the picture afresh.
int GtkPaintKeptPicture(PlatWindow *window);

// Text for a GTK label or title: GTK wants UTF-8, while paths and archive
// names are bytes, so invalid sequences are shown as replacement characters.
// Free with g_free.
char *GtkDisplayText(const char *bytes);

#endif
