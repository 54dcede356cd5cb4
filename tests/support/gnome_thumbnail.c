/* gnome_thumbnail.c - asks GNOME's thumbnail factory for the thumbnail of
 * one file, as a GNOME file manager does, and saves what it made.
 *
 *   gnome_thumbnail FILE OUT.png
 *
 * The factory picks the thumbnailer entry for FILE's content type from the
 * thumbnailers folders on XDG_DATA_DIRS and runs its command inside its
 * sandbox (bubblewrap), then loads the picture the command wrote. Exit 0
 * with the picture saved to OUT.png and its size printed as "W H"; exit 1
 * with the factory's error when it made none; exit 2 for bad usage.
 */
#define GNOME_DESKTOP_USE_UNSTABLE_API
#include <gio/gio.h>
#include <libgnome-desktop/gnome-desktop-thumbnail.h>
#include <stdio.h>

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: gnome_thumbnail FILE OUT.png\n");
        return 2;
    }
    GFile *file = g_file_new_for_commandline_arg(argv[1]);
    GError *error = NULL;
    GFileInfo *info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE,
                                        NULL, &error);
    if (!info) {
        fprintf(stderr, "gnome_thumbnail: %s\n", error->message);
        return 1;
    }
    char *uri = g_file_get_uri(file);
    const char *type = g_file_info_get_content_type(info);
    GnomeDesktopThumbnailFactory *factory = gnome_desktop_thumbnail_factory_new(GNOME_DESKTOP_THUMBNAIL_SIZE_NORMAL);
    int status = 1;
    if (!gnome_desktop_thumbnail_factory_can_thumbnail(factory, uri, type, 0)) {
        fprintf(stderr, "gnome_thumbnail: no thumbnailer for %s (%s)\n", uri, type);
    } else {
        GdkPixbuf *picture = gnome_desktop_thumbnail_factory_generate_thumbnail(factory, uri, type, NULL, &error);
        if (!picture) {
            fprintf(stderr, "gnome_thumbnail: %s\n", error ? error->message : "no thumbnail");
        } else if (!gdk_pixbuf_save(picture, argv[2], "png", &error, NULL)) {
            fprintf(stderr, "gnome_thumbnail: %s\n", error->message);
        } else {
            printf("%d %d\n", gdk_pixbuf_get_width(picture), gdk_pixbuf_get_height(picture));
            status = 0;
        }
        if (picture) g_object_unref(picture);
    }
    g_clear_error(&error);
    g_object_unref(factory);
    g_object_unref(info);
    g_free(uri);
    g_object_unref(file);
    return status;
}
