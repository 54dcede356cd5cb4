// white_window.cpp - the floor of the window's repaints: a GTK window laid
// out as korvitan's (a menu bar with the same three menus above a drawing
// area) whose drawing area paints plain white on every expose. scripts/bench
// measures korvitan's CPU time per repaint against this one's.
//
//   korvitan_white_window    (a window titled "WHITE", 800x600)
#include <gtk/gtk.h>

#include <initializer_list>

static gboolean OnDraw(GtkWidget *, cairo_t *cr, gpointer) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    return TRUE;
}

int main(int argc, char **argv) {
    if (!gtk_init_check(&argc, &argv)) return 1;
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "WHITE");
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
    GtkWidget *box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), bar, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), area, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
