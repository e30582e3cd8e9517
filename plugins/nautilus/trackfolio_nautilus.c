/* Nautilus 43 module: the Trackfolio entries of the item and background menus. Nautilus asks
 * for both menus synchronously on its UI thread at every selection change, so each request is
 * one bus round trip and nothing else. */
#include <nautilus-extension.h>

#include "tf_menu_render.h"

#define TF_TYPE_NAUTILUS_PROVIDER (tf_nautilus_provider_get_type())
G_DECLARE_FINAL_TYPE(TfNautilusProvider, tf_nautilus_provider, TF, NAUTILUS_PROVIDER, GObject)

struct _TfNautilusProvider {
    GObject parent_instance;
    guint changes_watch;
};

static void menu_provider_iface_init(NautilusMenuProviderInterface* iface);

G_DEFINE_DYNAMIC_TYPE_EXTENDED(TfNautilusProvider, tf_nautilus_provider, G_TYPE_OBJECT, 0,
                               G_IMPLEMENT_INTERFACE_DYNAMIC(NAUTILUS_TYPE_MENU_PROVIDER,
                                                             menu_provider_iface_init))

static GObject* new_item(const char* name, const char* label, const char* tip, const char* icon) {
    return G_OBJECT(nautilus_menu_item_new(name, label, tip, icon));
}

static GObject* new_menu(void) {
    return G_OBJECT(nautilus_menu_new());
}

static void append(GObject* menu, GObject* item) {
    nautilus_menu_append_item(NAUTILUS_MENU(menu), NAUTILUS_MENU_ITEM(item));
}

static void set_submenu(GObject* item, GObject* menu) {
    nautilus_menu_item_set_submenu(NAUTILUS_MENU_ITEM(item), NAUTILUS_MENU(menu));
}

/* Nautilus 43 builds its menus from a GMenuModel and offers extensions no separator item; a
 * disabled dummy item would read as a broken entry, so separators are simply left out. */
static const TfMenuToolkit kToolkit = {new_item, NULL, new_menu, append, set_submenu};

static GList* get_file_items(NautilusMenuProvider* provider, GList* files) {
    (void)provider;
    if (files == NULL) {
        return NULL;
    }
    GPtrArray* uris = g_ptr_array_new_with_free_func(g_free);
    for (GList* l = files; l != NULL; l = l->next) {
        g_ptr_array_add(uris, nautilus_file_info_get_uri(NAUTILUS_FILE_INFO(l->data)));
    }
    g_ptr_array_add(uris, NULL);
    g_autofree char* parent = nautilus_file_info_get_parent_uri(NAUTILUS_FILE_INFO(files->data));
    TfMenuClient* client = tf_menu_client_get_default();
    g_autoptr(TfMenu) menu = tf_menu_for_selection(client, (const char* const*)uris->pdata, parent);
    g_ptr_array_unref(uris);
    return tf_menu_render(menu, &kToolkit, client);
}

static GList* get_background_items(NautilusMenuProvider* provider,
                                   NautilusFileInfo* current_folder) {
    (void)provider;
    if (current_folder == NULL) {
        return NULL;
    }
    g_autofree char* uri = nautilus_file_info_get_uri(current_folder);
    TfMenuClient* client = tf_menu_client_get_default();
    g_autoptr(TfMenu) menu = tf_menu_for_folder(client, uri);
    return tf_menu_render(menu, &kToolkit, client);
}

static void menu_provider_iface_init(NautilusMenuProviderInterface* iface) {
    iface->get_file_items = get_file_items;
    iface->get_background_items = get_background_items;
}

static void on_menu_changed(gpointer user_data) {
    nautilus_menu_provider_emit_items_updated_signal(NAUTILUS_MENU_PROVIDER(user_data));
}

static void tf_nautilus_provider_init(TfNautilusProvider* self) {
    TfMenuClient* client = tf_menu_client_get_default();
    self->changes_watch = tf_menu_client_watch_changes(client, on_menu_changed, self, NULL);
    tf_menu_client_start_service(client);
}

static void tf_nautilus_provider_dispose(GObject* object) {
    TfNautilusProvider* self = TF_NAUTILUS_PROVIDER(object);
    tf_menu_client_unwatch_changes(tf_menu_client_get_default(), self->changes_watch);
    self->changes_watch = 0;
    G_OBJECT_CLASS(tf_nautilus_provider_parent_class)->dispose(object);
}

static void tf_nautilus_provider_class_init(TfNautilusProviderClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = tf_nautilus_provider_dispose;
}

static void tf_nautilus_provider_class_finalize(TfNautilusProviderClass* klass) {
    (void)klass;
}

static GType provider_types[1];

G_MODULE_EXPORT void nautilus_module_initialize(GTypeModule* module) {
    tf_nautilus_provider_register_type(module);
    provider_types[0] = TF_TYPE_NAUTILUS_PROVIDER;
}

G_MODULE_EXPORT void nautilus_module_shutdown(void) {}

G_MODULE_EXPORT void nautilus_module_list_types(const GType** types, int* num_types) {
    *types = provider_types;
    *num_types = G_N_ELEMENTS(provider_types);
}
