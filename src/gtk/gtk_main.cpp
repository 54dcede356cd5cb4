// gtk_main.cpp - korvitan: the main window, its menu bar and the event loop.
//
// The window is a GtkWindow titled "KORVITAN": the menu bar on top, an info
// bar below it while there is something to say, the drawing area that is
// the program's client area, and a status bar. Each GTK signal is handed to
// one handler of src/shell:
//
//   menu item activated      -> OnCommand(window, command identifier), or
//                               OnDesignerCommand for the program's own
//                               (reload, overlays: shell/reload.h)
//   drawing area draw        -> OnPaint (the device context is in gtk_paint.cpp),
//                               unless the kept picture is still the right one
//   drawing area resized     -> OnSize
//   drawing area realized    -> on X11, a window of its own on the server,
//                               painted without GTK's double buffer
//   wheel, left-button drag  -> OnWheel, OnDragStart / OnDragMove (zoom, pan)
//   + = - arrows 0 Home      -> OnZoomKey
//   pointer moved or left    -> the status bar's text (FormatStatusText)
//   a watched file changed   -> ReloadLevel, once the files have been quiet
//                               for RELOAD_QUIET_MS
//   window destroyed         -> OnDestroy, which ends the loop with exit code 0
//
// The menus carry the same texts and command identifiers on every host; the
// "&" that marks a mnemonic there becomes GTK's "_". This program adds the
// keys a GNOME user expects, shown in its menus: Ctrl+O, Ctrl+Shift+O,
// Ctrl+Q, F5 (and Ctrl+R) for Reload, and 1 to 6 for the views (the Windows
// program has none), and the level designer's commands: File > Reload,
// Load Leak Trace ..., Load Portals ..., View > Leak Trace, Portals and
// Reload Automatically.
//
// Reload Automatically watches the level's file and its overlays' files
// with GIO's file monitors and reloads once none has changed for
// RELOAD_QUIET_MS, so a compiler's half-written file is not read; while
// the level's file is gone nothing is read, and its return reloads. A
// reload's failure, and a broken overlay, show in the info bar, never in a
// message box, so a compile in progress stacks no dialogs.
//
// For screen readers the drawing area is described by the view it shows and
// the level's name, kept current after every command and open.
//
// Beyond the menu, a file reaches the program two ways, both opened by
// OpenFileByName as if chosen through the File menu:
//
//   korvitan FILE            opened once the window is shown
//   a file dropped on it     text/uri-list from a file manager; the first
//                            URI, if it names a local file
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gdk/gdkx.h>

#include "archive/archive_layer.h"
#include "gtk/gtk_backend.h"
#include "map/load_report.h"
#include "map/model.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "shell/reload.h"
#include "shell/shell.h"
#include "shell/status.h"
#include "shell/zoom_pan.h"

PlatWindow gtkMainWindow;
static int exitCode;

// The application id: the program's name to the desktop (WM_CLASS, the
// Wayland app id), which the desktop entry and the icon are named after.
static const char APP_ID[] = "org.korvitan.Korvitan";

// Set while a menu command or an open runs. Their dialogs run nested main
// loops, in which drops still arrive: one handled there would start a
// second load under the first, which still holds the model.
static int commandRunning;

// ---- The menu bar ---------------------------------------------------------------

struct MenuItemText {
    const char *text;  // null for a separator
    int command;
};

struct MenuPopupText {
    const char *text;
    const MenuItemText *items;
    size_t count;
};

static const MenuItemText FILE_ITEMS[] = {
    {"Open .&PAK ...", IDM_OPENPAK},
    {"Open .&BSP ...", IDM_OPENBSP},
    {"&Reload", IDM_RELOAD},
    {nullptr, 0},
    {"Load &Leak Trace ...", IDM_LOAD_LEAK},
    {"Load P&ortals ...", IDM_LOAD_PORTALS},
    {nullptr, 0},
    {"E&xit", IDM_EXIT},
};
static const MenuItemText VIEW_ITEMS[] = {
    {"X-Y", IDM_VIEW_XY},    {"X-Z", IDM_VIEW_XZ},    {"Y-Z", IDM_VIEW_YZ}, {nullptr, 0},
    {"3D (X)", IDM_VIEW_3DX}, {"3D (Y)", IDM_VIEW_3DY}, {"3D (Z)", IDM_VIEW_3DZ}, {nullptr, 0},
    {"&Leak Trace", IDM_SHOW_LEAK}, {"&Portals", IDM_SHOW_PORTALS}, {nullptr, 0},
    {"Reload &Automatically", IDM_RELOAD_AUTOMATICALLY},
};
static const MenuItemText HELP_ITEMS[] = {
    {"&About KORVITAN...", IDM_ABOUT},
};
static const MenuPopupText MENU_BAR[] = {
    {"&File", FILE_ITEMS, G_N_ELEMENTS(FILE_ITEMS)},
    {"&View", VIEW_ITEMS, G_N_ELEMENTS(VIEW_ITEMS)},
    {"&Help", HELP_ITEMS, G_N_ELEMENTS(HELP_ITEMS)},
};

// The keys of the menu commands, each shown beside its item when visible;
// the keypad's digits choose the views too. None collides with the zoom
// and pan keys (+ = - 0 Home and the arrows).
struct MenuKey {
    int command;
    guint key;
    GdkModifierType modifiers;
    GtkAccelFlags flags;
};
static const GdkModifierType NO_MODIFIER = GdkModifierType(0);
static const GdkModifierType CONTROL = GDK_CONTROL_MASK;
static const GdkModifierType CONTROL_SHIFT = GdkModifierType(GDK_CONTROL_MASK | GDK_SHIFT_MASK);
static const GtkAccelFlags HIDDEN = GtkAccelFlags(0);
static const MenuKey MENU_KEYS[] = {
    {IDM_OPENBSP, GDK_KEY_o, CONTROL, GTK_ACCEL_VISIBLE},
    {IDM_OPENPAK, GDK_KEY_o, CONTROL_SHIFT, GTK_ACCEL_VISIBLE},
    {IDM_EXIT, GDK_KEY_q, CONTROL, GTK_ACCEL_VISIBLE},
    {IDM_RELOAD, GDK_KEY_F5, NO_MODIFIER, GTK_ACCEL_VISIBLE},
    {IDM_RELOAD, GDK_KEY_r, CONTROL, HIDDEN},
    {IDM_VIEW_XY, GDK_KEY_1, NO_MODIFIER, GTK_ACCEL_VISIBLE},
    {IDM_VIEW_XZ, GDK_KEY_2, NO_MODIFIER, GTK_ACCEL_VISIBLE},
    {IDM_VIEW_YZ, GDK_KEY_3, NO_MODIFIER, GTK_ACCEL_VISIBLE},
    {IDM_VIEW_3DX, GDK_KEY_4, NO_MODIFIER, GTK_ACCEL_VISIBLE},
    {IDM_VIEW_3DY, GDK_KEY_5, NO_MODIFIER, GTK_ACCEL_VISIBLE},
    {IDM_VIEW_3DZ, GDK_KEY_6, NO_MODIFIER, GTK_ACCEL_VISIBLE},
    {IDM_VIEW_XY, GDK_KEY_KP_1, NO_MODIFIER, HIDDEN},
    {IDM_VIEW_XZ, GDK_KEY_KP_2, NO_MODIFIER, HIDDEN},
    {IDM_VIEW_YZ, GDK_KEY_KP_3, NO_MODIFIER, HIDDEN},
    {IDM_VIEW_3DX, GDK_KEY_KP_4, NO_MODIFIER, HIDDEN},
    {IDM_VIEW_3DY, GDK_KEY_KP_5, NO_MODIFIER, HIDDEN},
    {IDM_VIEW_3DZ, GDK_KEY_KP_6, NO_MODIFIER, HIDDEN},
};

// ---- The drawing area to screen readers ---------------------------------------------

// The view's name as its menu item shows it.
static const char *ViewName(int view) {
    for (const MenuItemText &item : VIEW_ITEMS)
        if (item.text && item.command == view) return item.text;
    return "no";
}

// Whether a level is in the model: the last load ended well and nothing has
// released it since (an open command releases it before the file chooser).
static int LevelShown(void) { return MapData.vertices && LastLoadResult().status == LOAD_LOADED; }

// What the drawing shows, for the description of the drawing area:
// "X-Y view of /path/level.bsp", "3D (Z) view of maps/e1.bsp in
// /path/maps.pak", or "X-Y view, no level loaded".
static char *DrawingDescription(void) {
    const char *view = ViewName(ViewMode);
    if (!LevelShown()) return g_strdup_printf("%s view, no level loaded", view);
    if (MapData.dirList) return g_strdup_printf("%s view of %s in %s", view, selectedMapName, fileName);
    return g_strdup_printf("%s view of %s", view, fileName);
}

// Called after anything that can change the view or the level: a command,
// an open, the window's creation. Only a change is announced.
static void DescribeDrawing(void) {
    if (!gtkMainWindow.area) return;
    char *text = DrawingDescription();
    char *shown = GtkDisplayText(text);
    AtkObject *accessible = gtk_widget_get_accessible(gtkMainWindow.area);
    if (g_strcmp0(atk_object_get_description(accessible), shown) != 0)
        atk_object_set_description(accessible, shown);
    g_free(shown);
    g_free(text);
}

// ---- The menu items and their marks ------------------------------------------------

// Every command identifier, the shared 100 to 110 and the program's own,
// has a slot.
enum { FIRST_COMMAND = IDM_ABOUT, COMMAND_SLOTS = IDM_LAST_LINUX_COMMAND - IDM_ABOUT + 1 };

struct MenuItemSlot {
    GtkWidget *item;
    gulong activateHandler;
    int checked;  // the mark as the program last set it
};
static MenuItemSlot menuItems[COMMAND_SLOTS];

static MenuItemSlot *SlotOf(int command) {
    if (command < FIRST_COMMAND || command >= FIRST_COMMAND + COMMAND_SLOTS) return nullptr;
    MenuItemSlot *slot = &menuItems[command - FIRST_COMMAND];
    return slot->item ? slot : nullptr;
}

// The views and the three switches of the View menu are the items whose
// mark the program sets.
static int IsCheckedCommand(int command) {
    return (command >= IDM_VIEW_XY && command <= IDM_VIEW_3DZ) || command == IDM_SHOW_LEAK ||
           command == IDM_SHOW_PORTALS || command == IDM_RELOAD_AUTOMATICALLY;
}

static int IsDesignerCommand(int command) {
    return command >= IDM_FIRST_LINUX_COMMAND && command <= IDM_LAST_LINUX_COMMAND;
}

static int IsOpenCommand(int command) { return command == IDM_OPENBSP || command == IDM_OPENPAK; }

static void AfterOpen(void);
static void AfterDesignerChange(void);

// "&" marks the mnemonic in the menu texts and "&&" stands for a literal
// "&"; GTK marks the mnemonic with "_", so a literal underscore is doubled.
static GString *MnemonicLabel(const char *text) {
    GString *label = g_string_new(nullptr);
    for (const char *p = text; *p; p++) {
        if (*p == '&' && p[1] == '&') {
            g_string_append_c(label, '&');
            p++;
        } else if (*p == '&') {
            g_string_append_c(label, '_');
        } else if (*p == '_') {
            g_string_append(label, "__");
        } else {
            g_string_append_c(label, *p);
        }
    }
    return label;
}

// Setting a GtkCheckMenuItem's state activates the item, so the program's
// own handler is held off while the program sets the mark.
static void SetMarkQuietly(MenuItemSlot *slot, int checked) {
    g_signal_handler_block(slot->item, slot->activateHandler);
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(slot->item), checked);
    g_signal_handler_unblock(slot->item, slot->activateHandler);
}

static void OnMenuItemActivate(GtkMenuItem *, gpointer data) {
    int command = GPOINTER_TO_INT(data);
    MenuItemSlot *slot = SlotOf(command);
    // GTK flips a check item's mark before this runs; the mark is the
    // program's to set, so put back what it last set and let the command
    // decide.
    if (slot && IsCheckedCommand(command)) SetMarkQuietly(slot, slot->checked);
    commandRunning = 1;
    if (IsDesignerCommand(command)) OnDesignerCommand(&gtkMainWindow, uint32_t(command));
    else OnCommand(&gtkMainWindow, uint32_t(command));
    commandRunning = 0;
    if (IsOpenCommand(command)) AfterOpen();
    else AfterDesignerChange();
    DescribeDrawing();
}

static GtkWidget *BuildMenuItem(const MenuItemText &text) {
    if (!text.text) return gtk_separator_menu_item_new();
    GString *label = MnemonicLabel(text.text);
    GtkWidget *item = IsCheckedCommand(text.command)
                          ? gtk_check_menu_item_new_with_mnemonic(label->str)
                          : gtk_menu_item_new_with_mnemonic(label->str);
    g_string_free(label, TRUE);
    MenuItemSlot *slot = &menuItems[text.command - FIRST_COMMAND];
    slot->item = item;
    slot->activateHandler =
        g_signal_connect(item, "activate", G_CALLBACK(OnMenuItemActivate), GINT_TO_POINTER(text.command));
    return item;
}

// Each key activates its item, as a click does; the window holds the group.
static void AddMenuKeys(GtkAccelGroup *keys) {
    for (const MenuKey &key : MENU_KEYS)
        if (MenuItemSlot *slot = SlotOf(key.command))
            gtk_widget_add_accelerator(slot->item, "activate", keys, key.key, key.modifiers, key.flags);
}

static GtkWidget *BuildMenuBar(GtkAccelGroup *keys) {
    GtkWidget *bar = gtk_menu_bar_new();
    for (const MenuPopupText &popup : MENU_BAR) {
        GString *label = MnemonicLabel(popup.text);
        GtkWidget *top = gtk_menu_item_new_with_mnemonic(label->str);
        g_string_free(label, TRUE);
        GtkWidget *menu = gtk_menu_new();
        for (size_t i = 0; i < popup.count; i++)
            gtk_menu_shell_append(GTK_MENU_SHELL(menu), BuildMenuItem(popup.items[i]));
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), menu);
        gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    }
    AddMenuKeys(keys);
    return bar;
}

void PlatCheckMenuItem(PlatWindow *, int command, int checked) {
    MenuItemSlot *slot = SlotOf(command);
    if (!slot || !IsCheckedCommand(command)) return;  // only the views carry a mark
    slot->checked = checked != 0;
    SetMarkQuietly(slot, slot->checked);
}

// ---- The window -------------------------------------------------------------------

char *GtkDisplayText(const char *bytes) { return g_utf8_make_valid(bytes, -1); }

void GtkClientPixels(PlatWindow *window, int *width, int *height) {
    *width = *height = 0;
    if (!window->area) return;
    int scale = gtk_widget_get_scale_factor(window->area);
    *width = gtk_widget_get_allocated_width(window->area) * scale;
    *height = gtk_widget_get_allocated_height(window->area) * scale;
}

void PlatGetClientSize(PlatWindow *window, int32_t *right, int32_t *bottom) {
    int width, height;
    GtkClientPixels(window, &width, &height);
    *right = width;
    *bottom = height;
}

void PlatSetWindowTitle(PlatWindow *window, const char *title) {
    if (!window->window) return;
    char *text = GtkDisplayText(title);
    gtk_window_set_title(GTK_WINDOW(window->window), text);
    g_free(text);
}

void PlatInvalidate(PlatWindow *window) {
    if (window->area) gtk_widget_queue_draw(window->area);
}

void PlatDestroyWindow(PlatWindow *window) {
    if (window->window) gtk_widget_destroy(window->window);
}

void PlatPostQuit(int code) {
    exitCode = code;
    gtk_main_quit();
}

// An expose with nothing changed since the last paint is painted from the
// kept picture; anything else is a paint through the shell.
static gboolean OnAreaDraw(GtkWidget *, cairo_t *cr, gpointer) {
    gtkMainWindow.cr = cr;
    if (!GtkPaintKeptPicture(&gtkMainWindow)) OnPaint(&gtkMainWindow);
    gtkMainWindow.cr = nullptr;
    return TRUE;
}

static void OnAreaSizeAllocate(GtkWidget *, GdkRectangle *, gpointer) { OnSize(&gtkMainWindow); }

// The drawing area gets a window of its own on the X server, so what it
// shows is a window a test (or any X client) can find and measure whatever
// the bars above and below it take. Every paint covers the whole area with
// one finished picture, so GTK's double buffer would only cost: an
// off-screen copy of the area made, painted with the background, filled
// with the picture and copied to the screen, every frame, all on the X
// server. GTK leaves it out only for a window of its own, on X11.
static void OnAreaRealize(GtkWidget *area, gpointer) {
    GdkWindow *window = gtk_widget_get_window(area);
    if (!window || !gdk_window_ensure_native(window) || !GDK_IS_X11_WINDOW(window)) return;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_widget_set_double_buffered(area, FALSE);
    G_GNUC_END_IGNORE_DEPRECATIONS
}

// ---- The status bar ------------------------------------------------------------------

// Where the pointer is over the drawing area, in device pixels.
static struct {
    int inside;
    int32_t x, y;
} pointer;

static void UpdateStatus(void) {
    if (!gtkMainWindow.statusBar) return;
    char text[256];
    FormatStatusText(&gtkMainWindow, pointer.inside, pointer.x, pointer.y, text, sizeof text);
    GtkStatusbar *bar = GTK_STATUSBAR(gtkMainWindow.statusBar);
    guint context = gtk_statusbar_get_context_id(bar, "level");
    gtk_statusbar_remove_all(bar, context);
    gtk_statusbar_push(bar, context, text);
}

// ---- The info bar ----------------------------------------------------------------------

// Shows the designer's messages, or hides the bar when there are none. The
// drawing area gives up the bar's height while it is shown.
static void ShowDesignerMessages(void) {
    if (!gtkMainWindow.infoBar) return;
    std::string messages = DesignerMessages();
    if (messages.empty()) {
        gtk_widget_hide(gtkMainWindow.infoBar);
        return;
    }
    char *shown = GtkDisplayText(messages.c_str());
    gtk_label_set_text(GTK_LABEL(gtkMainWindow.infoLabel), shown);
    g_free(shown);
    gtk_widget_show(gtkMainWindow.infoBar);
}

static void OnInfoBarResponse(GtkInfoBar *, gint, gpointer) {
    DismissDesignerMessages();
    ShowDesignerMessages();
}

static GtkWidget *BuildInfoBar(void) {
    GtkWidget *bar = gtk_info_bar_new();
    gtk_info_bar_set_message_type(GTK_INFO_BAR(bar), GTK_MESSAGE_WARNING);
    gtk_info_bar_set_show_close_button(GTK_INFO_BAR(bar), TRUE);
    GtkWidget *label = gtk_label_new(nullptr);
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_container_add(GTK_CONTAINER(gtk_info_bar_get_content_area(GTK_INFO_BAR(bar))), label);
    gtk_widget_show(label);
    // Shown only when there is something to say, not by the window's show_all.
    gtk_widget_set_no_show_all(bar, TRUE);
    g_signal_connect(bar, "response", G_CALLBACK(OnInfoBarResponse), nullptr);
    // The close button shows only an icon: a screen reader is told its name.
    GList *buttons = gtk_container_get_children(GTK_CONTAINER(gtk_info_bar_get_action_area(GTK_INFO_BAR(bar))));
    for (GList *b = buttons; b; b = b->next) atk_object_set_name(gtk_widget_get_accessible(GTK_WIDGET(b->data)), "Close");
    g_list_free(buttons);
    gtkMainWindow.infoLabel = label;
    return bar;
}

// ---- Watching the files: reload on change -------------------------------------------------

// How long the watched files must stay unchanged before they are read: a
// compiler writes its level in pieces, and a half-written file would only
// fail to load.
enum { RELOAD_QUIET_MS = 300, MONITOR_RATE_LIMIT_MS = 50 };

static std::vector<GFileMonitor *> monitors;
static std::vector<std::string> watchedFiles;
static guint quietTimer;

static gboolean OnFilesQuiet(gpointer);

static void RestartQuietTimer(void) {
    if (quietTimer) g_source_remove(quietTimer);
    quietTimer = g_timeout_add(RELOAD_QUIET_MS, OnFilesQuiet, nullptr);
}

// Any change of a watched file's content or presence starts the quiet
// period again; its attributes alone (a touch, a read) do not.
static void OnWatchedFileChanged(GFileMonitor *, GFile *, GFile *, GFileMonitorEvent event, gpointer) {
    switch (event) {
    case G_FILE_MONITOR_EVENT_CHANGED:
    case G_FILE_MONITOR_EVENT_CHANGES_DONE_HINT:
    case G_FILE_MONITOR_EVENT_DELETED:
    case G_FILE_MONITOR_EVENT_CREATED:
    case G_FILE_MONITOR_EVENT_MOVED:
    case G_FILE_MONITOR_EVENT_RENAMED:
    case G_FILE_MONITOR_EVENT_MOVED_IN:
    case G_FILE_MONITOR_EVENT_MOVED_OUT: RestartQuietTimer(); break;
    default: break;
    }
}

static void StopWatching(void) {
    for (GFileMonitor *monitor : monitors) {
        g_file_monitor_cancel(monitor);
        g_object_unref(monitor);
    }
    monitors.clear();
    watchedFiles.clear();
}

// Watches the files the shell names while Reload Automatically is on; the
// monitors are made again only when the files change.
static void WatchFiles(void) {
    std::vector<std::string> wanted;
    if (ReloadsAutomatically()) wanted = WatchedFiles();
    if (wanted == watchedFiles) return;
    StopWatching();
    for (const std::string &path : wanted) {
        GFile *file = g_file_new_for_path(path.c_str());
        GFileMonitor *monitor = g_file_monitor_file(file, G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr);
        g_object_unref(file);
        if (!monitor) continue;
        // GIO holds back a file's later changes for most of a second by
        // default, which would put off the quiet period's start.
        g_file_monitor_set_rate_limit(monitor, MONITOR_RATE_LIMIT_MS);
        g_signal_connect(monitor, "changed", G_CALLBACK(OnWatchedFileChanged), nullptr);
        monitors.push_back(monitor);
    }
    watchedFiles = wanted;
}

// Everything that shows what the designer's loop knows; nothing once the
// window is gone (File > Exit ends here too).
static void AfterDesignerChange(void) {
    if (!gtkMainWindow.window) return;
    WatchFiles();
    ShowDesignerMessages();
    UpdateStatus();
}

static void AfterOpen(void) {
    NoteOpenedLevel(&gtkMainWindow);
    AfterDesignerChange();
}

// The files have been quiet: read the level again, unless its file is
// gone (it is waited for: its return is a change too) or a command runs
// (its dialog holds the loop: the reload waits for it to end).
static gboolean OnFilesQuiet(gpointer) {
    quietTimer = 0;
    if (commandRunning) {
        RestartQuietTimer();
        return G_SOURCE_REMOVE;
    }
    const char *source = ReloadSource();
    if (!source || !ReloadsAutomatically() || !g_file_test(source, G_FILE_TEST_EXISTS)) return G_SOURCE_REMOVE;
    commandRunning = 1;
    ReloadLevel(&gtkMainWindow);
    commandRunning = 0;
    AfterDesignerChange();
    DescribeDrawing();
    return G_SOURCE_REMOVE;
}

// ---- Zoom and pan ----------------------------------------------------------------------
// Pointer positions come in the widget's units; the shell works in device
// pixels, as the picture is drawn.

static int32_t DevicePixel(GtkWidget *area, double v) {
    return int32_t(v * gtk_widget_get_scale_factor(area));
}

// A touchpad scrolls in fractions of a notch; they add up to whole ones.
static double smoothScroll;

static gboolean OnAreaScroll(GtkWidget *area, GdkEventScroll *event, gpointer) {
    int notches = 0;
    if (event->direction == GDK_SCROLL_UP) notches = 1;
    else if (event->direction == GDK_SCROLL_DOWN) notches = -1;
    else if (event->direction == GDK_SCROLL_SMOOTH) {
        smoothScroll -= event->delta_y;  // scrolling up is a negative delta
        notches = int(smoothScroll);
        smoothScroll -= notches;
    }
    if (notches) {
        OnWheel(&gtkMainWindow, DevicePixel(area, event->x), DevicePixel(area, event->y), notches);
        UpdateStatus();
    }
    return TRUE;
}

static gboolean OnAreaButtonPress(GtkWidget *area, GdkEventButton *event, gpointer) {
    if (event->button != GDK_BUTTON_PRIMARY || event->type != GDK_BUTTON_PRESS) return FALSE;
    OnDragStart(&gtkMainWindow, DevicePixel(area, event->x), DevicePixel(area, event->y));
    return TRUE;
}

// Every move tells the status bar where the pointer is; with the left
// button down it drags the picture too.
static gboolean OnAreaMotion(GtkWidget *area, GdkEventMotion *event, gpointer) {
    pointer.inside = 1;
    pointer.x = DevicePixel(area, event->x);
    pointer.y = DevicePixel(area, event->y);
    if (event->state & GDK_BUTTON1_MASK) OnDragMove(&gtkMainWindow, pointer.x, pointer.y);
    UpdateStatus();
    return TRUE;
}

static gboolean OnAreaLeave(GtkWidget *, GdkEventCrossing *, gpointer) {
    pointer.inside = 0;
    UpdateStatus();
    return FALSE;
}

// The keys that zoom and pan; anything else goes on to GTK (menus,
// mnemonics).
static gboolean OnWindowKeyPress(GtkWidget *, GdkEventKey *event, gpointer) {
    if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return FALSE;
    ZoomKey key;
    switch (event->keyval) {
    case GDK_KEY_plus: case GDK_KEY_equal: case GDK_KEY_KP_Add: key = ZOOM_KEY_IN; break;
    case GDK_KEY_minus: case GDK_KEY_KP_Subtract: key = ZOOM_KEY_OUT; break;
    case GDK_KEY_Left: case GDK_KEY_KP_Left: key = ZOOM_KEY_LEFT; break;
    case GDK_KEY_Right: case GDK_KEY_KP_Right: key = ZOOM_KEY_RIGHT; break;
    case GDK_KEY_Up: case GDK_KEY_KP_Up: key = ZOOM_KEY_UP; break;
    case GDK_KEY_Down: case GDK_KEY_KP_Down: key = ZOOM_KEY_DOWN; break;
    case GDK_KEY_0: case GDK_KEY_KP_0: case GDK_KEY_Home: case GDK_KEY_KP_Home: key = ZOOM_KEY_FULL; break;
    default: return FALSE;
    }
    OnZoomKey(&gtkMainWindow, key);
    UpdateStatus();
    return TRUE;
}

static void OnWindowDestroy(GtkWidget *, gpointer) {
    // The widgets are going: nothing may reach them from here on.
    StopWatching();
    if (quietTimer) g_source_remove(quietTimer);
    quietTimer = 0;
    gtkMainWindow.window = nullptr;
    gtkMainWindow.area = nullptr;
    gtkMainWindow.infoBar = gtkMainWindow.infoLabel = gtkMainWindow.statusBar = nullptr;
    OnDestroy(&gtkMainWindow);
}

// ---- Files handed in: FILE on the command line, and drops ------------------------

static char *pendingPath;  // what the pending idle call opens; null: none

static gboolean OpenPendingFile(gpointer) {
    char *path = pendingPath;
    pendingPath = nullptr;
    if (path && !commandRunning && gtkMainWindow.window) {
        commandRunning = 1;
        OpenFileByName(&gtkMainWindow, path);
        commandRunning = 0;
        AfterOpen();
        DescribeDrawing();
    }
    g_free(path);
    return G_SOURCE_REMOVE;
}

// Opens path (taken over, freed with g_free) once the loop is idle: after
// the window is shown, so the map list or a message has a window to belong
// to, and after a drop has been answered, so its source is not left waiting
// behind a modal dialog. A later path replaces one not yet opened.
static void OpenWhenIdle(char *path) {
    if (!pendingPath) g_idle_add(OpenPendingFile, nullptr);
    g_free(pendingPath);
    pendingPath = path;
}

// A file URI names a file on this machine when it has no host, or names
// this machine.
static int IsLocalHost(const char *host) {
    return !host || g_ascii_strcasecmp(host, "localhost") == 0 || std::strcmp(host, g_get_host_name()) == 0;
}

// The path of the first URI of a text/uri-list, percent-decoded to the
// file name's own bytes; null when that URI is not a local file.
static char *FirstLocalFile(GtkSelectionData *data) {
    char **uris = gtk_selection_data_get_uris(data);
    char *path = nullptr;
    if (uris && uris[0]) {
        char *host = nullptr;
        path = g_filename_from_uri(uris[0], &host, nullptr);
        if (path && !IsLocalHost(host)) {
            g_free(path);
            path = nullptr;
        }
        g_free(host);
    }
    g_strfreev(uris);
    return path;
}

static gboolean OnWindowDragDrop(GtkWidget *widget, GdkDragContext *context, gint, gint, guint time,
                                 gpointer) {
    GdkAtom target = gtk_drag_dest_find_target(widget, context, nullptr);
    if (target == GDK_NONE || commandRunning) gtk_drag_finish(context, FALSE, FALSE, time);
    else gtk_drag_get_data(widget, context, target, time);
    return TRUE;
}

// The drop is answered at once; the file opens from the loop, as though it
// had been chosen through the menu. Anything but a local file is refused.
static void OnWindowDragDataReceived(GtkWidget *, GdkDragContext *context, gint, gint,
                                     GtkSelectionData *data, guint, guint time, gpointer) {
    char *path = commandRunning ? nullptr : FirstLocalFile(data);
    gtk_drag_finish(context, path != nullptr, FALSE, time);
    if (path) OpenWhenIdle(path);
}

// The whole window takes file drops, menu bar included.
static void AcceptFileDrops(GtkWidget *window) {
    gtk_drag_dest_set(window, GtkDestDefaults(GTK_DEST_DEFAULT_MOTION | GTK_DEST_DEFAULT_HIGHLIGHT), nullptr,
                      0, GDK_ACTION_COPY);
    gtk_drag_dest_add_uri_targets(window);
    g_signal_connect(window, "drag-drop", G_CALLBACK(OnWindowDragDrop), nullptr);
    g_signal_connect(window, "drag-data-received", G_CALLBACK(OnWindowDragDataReceived), nullptr);
}

// ---- Start-up ------------------------------------------------------------------------

// The window and its children, with the start-up check marks set before it
// is shown.
static void CreateMainWindow(void) {
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "KORVITAN");
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);

    GtkWidget *area = gtk_drawing_area_new();
    gtk_widget_set_hexpand(area, TRUE);
    gtk_widget_set_vexpand(area, TRUE);
    g_signal_connect(area, "draw", G_CALLBACK(OnAreaDraw), nullptr);
    g_signal_connect(area, "size-allocate", G_CALLBACK(OnAreaSizeAllocate), nullptr);
    g_signal_connect(area, "realize", G_CALLBACK(OnAreaRealize), nullptr);
    gtk_widget_add_events(area, GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK | GDK_BUTTON_PRESS_MASK |
                                    GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK | GDK_LEAVE_NOTIFY_MASK);
    g_signal_connect(area, "scroll-event", G_CALLBACK(OnAreaScroll), nullptr);
    g_signal_connect(area, "button-press-event", G_CALLBACK(OnAreaButtonPress), nullptr);
    g_signal_connect(area, "motion-notify-event", G_CALLBACK(OnAreaMotion), nullptr);
    g_signal_connect(area, "leave-notify-event", G_CALLBACK(OnAreaLeave), nullptr);

    atk_object_set_name(gtk_widget_get_accessible(area), "Level drawing");

    GtkAccelGroup *keys = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(window), keys);
    g_object_unref(keys);  // the window holds it
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), BuildMenuBar(keys), FALSE, FALSE, 0);
    GtkWidget *infoBar = BuildInfoBar();
    gtk_box_pack_start(GTK_BOX(box), infoBar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), area, TRUE, TRUE, 0);
    GtkWidget *statusBar = gtk_statusbar_new();
    gtk_box_pack_start(GTK_BOX(box), statusBar, FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    g_signal_connect(window, "destroy", G_CALLBACK(OnWindowDestroy), nullptr);
    AcceptFileDrops(window);
    g_signal_connect(window, "key-press-event", G_CALLBACK(OnWindowKeyPress), nullptr);

    gtkMainWindow.window = window;
    gtkMainWindow.area = area;
    gtkMainWindow.infoBar = infoBar;
    gtkMainWindow.statusBar = statusBar;
    OnCreate(&gtkMainWindow);
    OnDesignerCreate(&gtkMainWindow);
    DescribeDrawing();
    UpdateStatus();
    gtk_widget_show_all(window);
}

static gboolean showVersion;
static char **givenFiles;  // FILE and any further names; only the first is opened

static const GOptionEntry OPTIONS[] = {
    {"version", 0, 0, G_OPTION_ARG_NONE, &showVersion, "Print the version and exit", nullptr},
    {G_OPTION_REMAINING, 0, 0, G_OPTION_ARG_FILENAME_ARRAY, &givenFiles, nullptr, nullptr},
    {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
};

static const char SUMMARY[] =
    "Shows the edge skeleton of a level file, alone or inside an archive.\n"
    "FILE is opened at start as if chosen through the File menu: an archive (a\n"
    "name ending in .pak .pk3 .pk4 .zip .7z or .rar, any case, or such a file's\n"
    "first bytes) through Open .PAK, any other file through Open .BSP.";

// Reads the command line, GTK's own options included, without opening the
// display, so --help and --version work anywhere. Returns the exit status
// when the program is done (help, version, bad usage), -1 to go on.
static int ParseCommandLine(int *argc, char ***argv) {
    GOptionContext *context = g_option_context_new("[FILE]");
    g_option_context_set_summary(context, SUMMARY);
    g_option_context_add_main_entries(context, OPTIONS, nullptr);
    g_option_context_add_group(context, gtk_get_option_group(FALSE));
    GError *error = nullptr;
    int status = -1;
    // --help prints to stdout and exits 0 from inside the parse.
    if (!g_option_context_parse(context, argc, argv, &error)) {
        std::fprintf(stderr, "korvitan: %s\n", error->message);
        char *help = g_option_context_get_help(context, TRUE, nullptr);
        std::fputs(help, stderr);
        g_free(help);
        g_error_free(error);
        status = 2;
    } else if (showVersion) {
        std::printf("korvitan %s\n", KORVITAN_VERSION);
        status = std::fflush(stdout) == 0 ? 0 : 1;
    }
    g_option_context_free(context);
    return status;
}

// The path to open, absolute as a chosen one is, so the title and the next
// File > Open show where it is. Free with g_free.
static char *GivenPath(const char *name) {
    return *name ? g_canonicalize_filename(name, nullptr) : g_strdup(name);
}

int main(int argc, char **argv) {
    PrepareArchiveReading();  // while this is the only thread
    int status = ParseCommandLine(&argc, &argv);
    if (status >= 0) return status;
    // The parse named the program after argv[0]; the desktop knows it by
    // its id, and every window, dialogs included, shows its icon (none
    // while it is not installed).
    g_set_prgname(APP_ID);
    gdk_set_program_class(APP_ID);
    g_set_application_name("KORVITAN");
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "korvitan: cannot open the display; korvitan-cli renders without one\n");
        return 1;
    }
    gtk_window_set_default_icon_name(APP_ID);
    CreateMainWindow();
    if (givenFiles && givenFiles[0]) OpenWhenIdle(GivenPath(givenFiles[0]));
    g_strfreev(givenFiles);
    gtk_main();
    return exitCode;
}
