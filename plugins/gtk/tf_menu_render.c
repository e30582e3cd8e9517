#include "tf_menu_render.h"

typedef struct {
    TfMenuClient* client;
    guint64 menu_id;
    gint64 tag;
} Click;

static void on_activate(GObject* item, gpointer user_data) {
    (void)item;
    const Click* click = user_data;
    tf_menu_client_activate(click->client, click->menu_id, click->tag);
}

typedef struct {
    const TfMenu* menu;
    const TfMenuToolkit* toolkit;
    TfMenuClient* client;
    guint index;
} Walk;

static GObject* render_entry(Walk* walk, const TfMenuEntry* entry);

/* Appends the rendered entries to menu, or to *list when menu is NULL. */
static void render_list(Walk* walk, GPtrArray* entries, GObject* menu, GList** list) {
    for (guint i = 0; i < entries->len; ++i) {
        GObject* item = render_entry(walk, g_ptr_array_index(entries, i));
        if (item == NULL) {
            continue;
        }
        if (menu != NULL) {
            walk->toolkit->append(menu, item);
            g_object_unref(item);
        } else {
            *list = g_list_prepend(*list, item);
        }
    }
}

static GObject* render_entry(Walk* walk, const TfMenuEntry* entry) {
    const guint index = walk->index++;
    g_autofree char* name =
        tf_menu_item_name(walk->menu->kind, walk->menu->menu_id, entry->tag, index);
    if (entry->separator) {
        return walk->toolkit->new_separator != NULL ? walk->toolkit->new_separator(name) : NULL;
    }
    if (entry->children != NULL && entry->children->len == 0) {
        return NULL;
    }
    g_autofree char* label = tf_menu_escape_label(entry->title);
    /* Nemo drops items without a tip; the title is the most useful one anyway. */
    GObject* item = walk->toolkit->new_item(name, label, entry->title,
                                            entry->icon[0] != '\0' ? entry->icon : NULL);
    if (entry->children != NULL) {
        GObject* submenu = walk->toolkit->new_menu();
        render_list(walk, entry->children, submenu, NULL);
        walk->toolkit->set_submenu(item, submenu);
        g_object_unref(submenu);
        return item;
    }
    Click* click = g_new0(Click, 1);
    click->client = walk->client;
    click->menu_id = walk->menu->menu_id;
    click->tag = entry->tag;
    g_signal_connect_data(item, "activate", G_CALLBACK(on_activate), click,
                          (GClosureNotify)(void (*)(void))g_free, 0);
    return item;
}

GList* tf_menu_render(const TfMenu* menu, const TfMenuToolkit* toolkit, TfMenuClient* client) {
    if (menu == NULL) {
        return NULL;
    }
    Walk walk = {menu, toolkit, client, 0};
    GList* items = NULL;
    render_list(&walk, menu->entries, NULL, &items);
    return g_list_reverse(items);
}

TfMenu* tf_menu_for_selection(TfMenuClient* client, const char* const* uris,
                              const char* parent_uri) {
    if (uris == NULL || uris[0] == NULL) {
        return NULL;
    }
    return tf_menu_client_get_menu(client, TF_MENU_KIND_ITEMS, uris, parent_uri);
}

TfMenu* tf_menu_for_folder(TfMenuClient* client, const char* folder_uri) {
    return tf_menu_client_get_menu(client, TF_MENU_KIND_CONTAINER, NULL, folder_uri);
}
