// gtk_dialogs.cpp - the modal windows: message box, open-file dialog, the
// map list and the About box.
//
// Each runs nested with gtk_dialog_run, transient for the main window, so
// the code that asked (a loader, a command) waits for the user's answer the
// way it waits for a function's result. The rules of the map list and the
// About box (what is listed, what OK and Cancel mean) are in src/shell;
// here a button's response is handed to MapSelectCommand or AboutCommand as
// the control it stands for.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gtk/gtk_backend.h"
#include "platform/platform.h"
#include "res/resource.h"
#include "shell/dialogs.h"

struct PlatDialog {
    GtkWidget *dialog;
    GtkListStore *store;           // the map list's rows as shown
    GtkTreeView *list;
    std::vector<std::string> rows;  // the same rows byte for byte, as appended
    int ended;
};

static GtkWindow *ParentOf(PlatWindow *window) {
    return window && window->window ? GTK_WINDOW(window->window) : nullptr;
}

// A fixed-size modal dialog of the program's own, centred on the window.
static GtkWidget *NewDialog(PlatWindow *window, const char *title) {
    GtkWidget *dialog = gtk_dialog_new_with_buttons(
        title, ParentOf(window), GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        nullptr, nullptr);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    return dialog;
}

// The response a button, Escape or the close box gave, as the dialog
// control it stands for: only the OK button is OK; everything else,
// including a dialog destroyed under the user, is Cancel.
static int ControlOf(int response) { return response == DIALOG_OK ? DIALOG_OK : DIALOG_CANCEL; }

// ---- Message box ------------------------------------------------------------------

// The message's label can be selected and copied, as a message box's text
// can be copied on Windows: a path that would not open is worth pasting.
static void MakeMessageSelectable(GtkWidget *dialog) {
    GtkWidget *area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog));
    GList *children = gtk_container_get_children(GTK_CONTAINER(area));
    for (GList *child = children; child; child = child->next)
        if (GTK_IS_LABEL(child->data)) gtk_label_set_selectable(GTK_LABEL(child->data), TRUE);
    g_list_free(children);
}

void PlatMessageBox(PlatWindow *window, const char *text, const char *caption) {
    char *message = GtkDisplayText(text);
    char *title = GtkDisplayText(caption);
    GtkWidget *dialog = gtk_message_dialog_new(
        ParentOf(window), GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
        GTK_MESSAGE_OTHER, GTK_BUTTONS_OK, "%s", message);
    gtk_window_set_title(GTK_WINDOW(dialog), title);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER_ON_PARENT);
    MakeMessageSelectable(dialog);
    // Focus starts on OK, not in the text, so Enter closes the box.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_widget_grab_focus(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK));
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    g_free(title);
    g_free(message);
}

// ---- Open-file dialog -------------------------------------------------------------

// A pattern that matches in any letter case, as file names do on Windows:
// "*.PAK" becomes "*.[Pp][Aa][Kk]".
static void AddAnyCasePattern(GtkFileFilter *fileFilter, const char *pattern) {
    GString *anyCase = g_string_new(nullptr);
    for (const char *p = pattern; *p; p++) {
        if (g_ascii_isalpha(*p))
            g_string_append_printf(anyCase, "[%c%c]", g_ascii_toupper(*p), g_ascii_tolower(*p));
        else g_string_append_c(anyCase, *p);
    }
    gtk_file_filter_add_pattern(fileFilter, anyCase->str);
    g_string_free(anyCase, TRUE);
}

// The request's filter is "description\0patterns\0" pairs and a closing zero
// byte: one filter of the chooser per pair, in order, so the first is the
// one shown at first. Patterns are separated by ';'.
static void AddFilters(GtkFileChooser *chooser, const char *filter) {
    const char *description = filter;
    while (*description) {
        const char *patterns = description + std::strlen(description) + 1;
        if (!*patterns) return;
        GtkFileFilter *fileFilter = gtk_file_filter_new();
        gtk_file_filter_set_name(fileFilter, description);
        char **each = g_strsplit(patterns, ";", -1);
        for (char **pattern = each; *pattern; pattern++)
            if (**pattern) AddAnyCasePattern(fileFilter, *pattern);
        g_strfreev(each);
        gtk_file_chooser_add_filter(chooser, fileFilter);  // the chooser takes it
        description = patterns + std::strlen(patterns) + 1;
    }
}

int PlatChooseOpenFile(PlatWindow *window, OpenFileRequest *request) {
    // The open action confirms only files that exist.
    GtkWidget *dialog = gtk_file_chooser_dialog_new(
        request->title, ParentOf(window), GTK_FILE_CHOOSER_ACTION_OPEN, "_Cancel",
        GTK_RESPONSE_CANCEL, "_Open", GTK_RESPONSE_ACCEPT, nullptr);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    GtkFileChooser *chooser = GTK_FILE_CHOOSER(dialog);
    gtk_file_chooser_set_local_only(chooser, TRUE);
    AddFilters(chooser, request->filter);
    if (request->file[0]) {
        gtk_file_chooser_set_filename(chooser, request->file);
    } else {
        char *here = g_get_current_dir();
        gtk_file_chooser_set_current_folder(chooser, here);
        g_free(here);
    }

    int chosen = 0;
    if (gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
        char *path = gtk_file_chooser_get_filename(chooser);
        if (path && std::strlen(path) < request->fileCapacity) {
            std::memcpy(request->file, path, std::strlen(path) + 1);
            chosen = 1;
        }
        g_free(path);
    }
    gtk_widget_destroy(dialog);
    return chosen;
}

// ---- "Select a MAP!" ----------------------------------------------------------------

// A single-column list of names, unsorted and without a header. Rows are
// only ever selected here: a double-click or Enter on a row activates it,
// which the dialog does not listen to, so only OK takes the selection.
static GtkWidget *NewMapList(PlatDialog *dialog) {
    dialog->store = gtk_list_store_new(1, G_TYPE_STRING);
    GtkWidget *list = gtk_tree_view_new_with_model(GTK_TREE_MODEL(dialog->store));
    g_object_unref(dialog->store);  // the view holds it
    dialog->list = GTK_TREE_VIEW(list);
    gtk_tree_view_set_headers_visible(dialog->list, FALSE);
    gtk_tree_view_insert_column_with_attributes(dialog->list, -1, nullptr, gtk_cell_renderer_text_new(),
                                                "text", 0, nullptr);
    gtk_tree_selection_set_mode(gtk_tree_view_get_selection(dialog->list), GTK_SELECTION_SINGLE);
    // The list has no header to name it, so a screen reader is told.
    atk_object_set_name(gtk_widget_get_accessible(list), "Maps in the archive");

    GtkWidget *scroller = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scroller), GTK_SHADOW_IN);
    gtk_widget_set_size_request(scroller, 280, 140);
    gtk_container_add(GTK_CONTAINER(scroller), list);
    return scroller;
}

void PlatRunMapSelectDialog(PlatWindow *window) {
    if (MapListAnswer) {  // a reload: the row taken before, without a list
        AnswerMapList();
        return;
    }
    PlatDialog dialog = {NewDialog(window, "Select a MAP!"), nullptr, nullptr, {}, 0};
    GtkWidget *content = gtk_dialog_get_content_area(GTK_DIALOG(dialog.dialog));
    gtk_container_set_border_width(GTK_CONTAINER(content), 6);
    gtk_box_pack_start(GTK_BOX(content), NewMapList(&dialog), TRUE, TRUE, 0);
    GtkWidget *ok = gtk_dialog_add_button(GTK_DIALOG(dialog.dialog), "OK", DIALOG_OK);
    gtk_dialog_add_button(GTK_DIALOG(dialog.dialog), "Cancel", DIALOG_CANCEL);
    // OK then Cancel from the left, under the list.
    gtk_button_box_set_layout(GTK_BUTTON_BOX(gtk_widget_get_parent(ok)), GTK_BUTTONBOX_START);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog.dialog), DIALOG_OK);

    MapSelectInit(&dialog);
    gtk_widget_show_all(content);
    // Focus starts on OK with no row selected. Were the list focused first,
    // GTK would put its cursor, and so the selection, on the first row.
    gtk_widget_grab_focus(ok);
    gtk_tree_selection_unselect_all(gtk_tree_view_get_selection(dialog.list));

    while (!dialog.ended) {
        int response = gtk_dialog_run(GTK_DIALOG(dialog.dialog));
        if (!MapSelectCommand(&dialog, ControlOf(response))) break;
    }
    gtk_widget_destroy(dialog.dialog);
}

void PlatListReset(PlatDialog *dialog) {
    gtk_list_store_clear(dialog->store);
    dialog->rows.clear();
}

void PlatListAppend(PlatDialog *dialog, const char *text) {
    dialog->rows.push_back(text);
    char *shown = GtkDisplayText(text);
    gtk_list_store_insert_with_values(dialog->store, nullptr, -1, 0, shown, -1);
    g_free(shown);
}

int PlatListSelection(PlatDialog *dialog) {
    GtkTreeIter iter;
    GtkTreeModel *model;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(dialog->list), &model, &iter)) return -1;
    GtkTreePath *path = gtk_tree_model_get_path(model, &iter);
    int index = gtk_tree_path_get_indices(path)[0];
    gtk_tree_path_free(path);
    return index;
}

// The text handed back is the row as appended, not as shown: a name that is
// not valid UTF-8 is shown mended but must still find its archive entry.
void PlatListText(PlatDialog *dialog, int index, char *out, size_t capacity) {
    if (capacity == 0) return;
    const char *text = index >= 0 && size_t(index) < dialog->rows.size() ? dialog->rows[size_t(index)].c_str() : "";
    std::snprintf(out, capacity, "%s", text);
}

void PlatEndDialog(PlatDialog *dialog, int) { dialog->ended = 1; }

// ---- About box ------------------------------------------------------------------------

void PlatRunAboutDialog(PlatWindow *window) {
    PlatDialog dialog = {NewDialog(window, "About KORVITAN"), nullptr, nullptr, {}, 0};
    GtkWidget *content = gtk_dialog_get_content_area(GTK_DIALOG(dialog.dialog));
    gtk_container_set_border_width(GTK_CONTAINER(content), 12);
    gtk_box_set_spacing(GTK_BOX(content), 4);
    static const char *const lines[] = {ABOUT_LINE1, ABOUT_LINE2, ABOUT_LINE3, ABOUT_LINE4, ABOUT_LINE5};
    for (const char *line : lines) {
        GtkWidget *label = gtk_label_new(line);
        gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
        gtk_box_pack_start(GTK_BOX(content), label, FALSE, FALSE, 0);
    }
    GtkWidget *ok = gtk_dialog_add_button(GTK_DIALOG(dialog.dialog), "OK", DIALOG_OK);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(gtk_widget_get_parent(ok)), GTK_BUTTONBOX_CENTER);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog.dialog), DIALOG_OK);
    gtk_widget_show_all(content);
    gtk_widget_grab_focus(ok);

    while (!dialog.ended) {
        int response = gtk_dialog_run(GTK_DIALOG(dialog.dialog));
        if (!AboutCommand(&dialog, ControlOf(response))) break;
    }
    gtk_widget_destroy(dialog.dialog);
}
