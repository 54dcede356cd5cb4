// drag_source.cpp - a window to drag files from, as a file manager offers
// them, for the end-to-end test of drops.
//
// Usage: drag_source X Y ITEM...
//
// Shows a 160x120 window titled "drag source" at (X, Y) of the screen. A
// drag started anywhere in it with the first mouse button offers the items
// as text/uri-list: an item starting with "/" is a path, turned into a
// file:// URI by GLib (so spaces and non-ASCII bytes are percent-encoded,
// as file managers write them); any other item is sent as the URI it is.
//
// It prints, one line each, what the test must wait for before its next
// mouse action: "began" when the drag has started, "accepted" once a
// window under the pointer has said it would take the drop (releasing the
// button earlier would cancel the drag), "ended" when the drag is over.
#include <cstdlib>
#include <gtk/gtk.h>

static char **uris;  // null-terminated, what every drag offers
static guint watch;  // the timer that looks for the target's answer

static void Say(const char *line) {
    g_print("%s\n", line);
    fflush(stdout);
}

static void OnDragDataGet(GtkWidget *, GdkDragContext *, GtkSelectionData *data, guint, guint, gpointer) {
    gtk_selection_data_set_uris(data, uris);
}

// The target's answer to the pointer's position sets the drag's action.
static gboolean WatchForAcceptance(gpointer context) {
    if (!gdk_drag_context_get_selected_action(GDK_DRAG_CONTEXT(context))) return G_SOURCE_CONTINUE;
    Say("accepted");
    watch = 0;
    return G_SOURCE_REMOVE;
}

static void OnDragBegin(GtkWidget *, GdkDragContext *context, gpointer) {
    Say("began");
    watch = g_timeout_add(20, WatchForAcceptance, context);
}

static void OnDragEnd(GtkWidget *, GdkDragContext *, gpointer) {
    if (watch) g_source_remove(watch);
    watch = 0;
    Say("ended");
}

int main(int argc, char **argv) {
    if (!gtk_init_check(&argc, &argv) || argc < 4) {
        g_printerr("usage: drag_source X Y ITEM... (and a display)\n");
        return 2;
    }
    uris = g_new0(char *, argc - 2);
    for (int i = 3; i < argc; i++)
        uris[i - 3] = argv[i][0] == '/' ? g_filename_to_uri(argv[i], nullptr, nullptr) : g_strdup(argv[i]);

    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "drag source");
    gtk_window_set_default_size(GTK_WINDOW(window), 160, 120);
    gtk_window_move(GTK_WINDOW(window), atoi(argv[1]), atoi(argv[2]));
    GtkWidget *box = gtk_event_box_new();
    gtk_container_add(GTK_CONTAINER(box), gtk_label_new("drag me"));
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_drag_source_set(box, GDK_BUTTON1_MASK, nullptr, 0, GDK_ACTION_COPY);
    gtk_drag_source_add_uri_targets(box);
    g_signal_connect(box, "drag-data-get", G_CALLBACK(OnDragDataGet), nullptr);
    g_signal_connect(box, "drag-begin", G_CALLBACK(OnDragBegin), nullptr);
    g_signal_connect(box, "drag-end", G_CALLBACK(OnDragEnd), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_show_all(window);
    gtk_main();
    g_strfreev(uris);
    return 0;
}
