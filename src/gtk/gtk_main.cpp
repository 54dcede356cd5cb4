// gtk_main.cpp - korvitan: the main window, its menu bar and the event loop.
//
// The window is a GtkWindow titled "KORVITAN" with the menu bar on top and a
// drawing area below that is the program's client area. Each GTK signal is
// handed to one handler of src/shell:
//
//   menu item activated      -> OnCommand(window, command identifier)
//   drawing area draw        -> OnPaint (the device context is in gtk_paint.cpp),
//                               unless the kept picture is still the right one
//   drawing area resized     -> OnSize
//   window destroyed         -> OnDestroy, which ends the loop with exit code 0
//
// The menus carry the same texts and command identifiers on every host; the
// "&" that marks a mnemonic there becomes GTK's "_". There are no
// accelerators.
#include <cstdint>
#include <cstdio>

#include "gtk/gtk_backend.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "shell/shell.h"

PlatWindow gtkMainWindow;
static int exitCode;

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
    {nullptr, 0},
    {"E&xit", IDM_EXIT},
};
static const MenuItemText VIEW_ITEMS[] = {
    {"X-Y", IDM_VIEW_XY},    {"X-Z", IDM_VIEW_XZ},    {"Y-Z", IDM_VIEW_YZ}, {nullptr, 0},
    {"3D (X)", IDM_VIEW_3DX}, {"3D (Y)", IDM_VIEW_3DY}, {"3D (Z)", IDM_VIEW_3DZ},
};
static const MenuItemText HELP_ITEMS[] = {
    {"&About KORVITAN...", IDM_ABOUT},
};
static const MenuPopupText MENU_BAR[] = {
    {"&File", FILE_ITEMS, G_N_ELEMENTS(FILE_ITEMS)},
    {"&View", VIEW_ITEMS, G_N_ELEMENTS(VIEW_ITEMS)},
    {"&Help", HELP_ITEMS, G_N_ELEMENTS(HELP_ITEMS)},
};

// Every command identifier, 100 to 110, has a slot.
enum { FIRST_COMMAND = IDM_ABOUT, COMMAND_SLOTS = IDM_VIEW_3DZ - IDM_ABOUT + 1 };

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

// The views are the items whose mark the program sets.
static int IsCheckedCommand(int command) { return command >= IDM_VIEW_XY && command <= IDM_VIEW_3DZ; }

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
    OnCommand(&gtkMainWindow, uint32_t(command));
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

static GtkWidget *BuildMenuBar(void) {
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

static void OnWindowDestroy(GtkWidget *, gpointer) {
    // The widgets are going: nothing may reach them from here on.
    gtkMainWindow.window = nullptr;
    gtkMainWindow.area = nullptr;
    OnDestroy(&gtkMainWindow);
}

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

    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), BuildMenuBar(), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), area, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    g_signal_connect(window, "destroy", G_CALLBACK(OnWindowDestroy), nullptr);

    gtkMainWindow.window = window;
    gtkMainWindow.area = area;
    OnCreate(&gtkMainWindow);
    gtk_widget_show_all(window);
}

int main(int argc, char **argv) {
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "korvitan: cannot open the display; korvitan-cli renders without one\n");
        return 1;
    }
    CreateMainWindow();
    gtk_main();
    return exitCode;
}
