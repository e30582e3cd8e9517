/* Nemo module: the Trackfolio entries of the item and background menus. Nemo asks for the
 * background items when a folder loads and for the item menu when the selection changes. */
#include <libnemo-extension/nemo-extension-types.h>
#include <libnemo-extension/nemo-file-info.h>
#include <libnemo-extension/nemo-menu-provider.h>
#include <libnemo-extension/nemo-menu.h>

#include "tf_menu_render.h"

#define TF_TYPE_NEMO_PROVIDER (tf_nemo_provider_get_type())
G_DECLARE_FINAL_TYPE(TfNemoProvider, tf_nemo_provider, TF, NEMO_PROVIDER, GObject)

struct _TfNemoProvider {
    GObject parent_instance;
    guint changes_watch;
};

static void menu_provider_iface_init(NemoMenuProviderInterface* iface);

G_DEFINE_DYNAMIC_TYPE_EXTENDED(TfNemoProvider, tf_nemo_provider, G_TYPE_OBJECT, 0,
                               G_IMPLEMENT_INTERFACE_DYNAMIC(NEMO_TYPE_MENU_PROVIDER,
                                                             menu_provider_iface_init))

static GObject* new_item(const char* name, const char* label, const char* tip, const char* icon) {
    return G_OBJECT(nemo_menu_item_new(name, label, tip, icon));
}

static GObject* new_separator(const char* name) {
    GObject* item = G_OBJECT(nemo_menu_item_new_separator(name));
    /* Nemo skips items whose tip is NULL. */
    g_object_set(item, "tip", "", NULL);
    return item;
}

static GObject* new_menu(void) {
    return G_OBJECT(nemo_menu_new());
}

static void append(GObject* menu, GObject* item) {
    nemo_menu_append_item(NEMO_MENU(menu), NEMO_MENU_ITEM(item));
}

static void set_submenu(GObject* item, GObject* menu) {
    nemo_menu_item_set_submenu(NEMO_MENU_ITEM(item), NEMO_MENU(menu));
}

static const TfMenuToolkit kToolkit = {new_item, new_separator, new_menu, append, set_submenu};

static GList* get_file_items(NemoMenuProvider* provider, GtkWidget* window, GList* files) {
    (void)provider;
    (void)window;
    if (files == NULL) {
        return NULL;
    }
    GPtrArray* uris = g_ptr_array_new_with_free_func(g_free);
    for (GList* l = files; l != NULL; l = l->next) {
        g_ptr_array_add(uris, nemo_file_info_get_uri(NEMO_FILE_INFO(l->data)));
    }
    g_ptr_array_add(uris, NULL);
    g_autofree char* parent = nemo_file_info_get_parent_uri(NEMO_FILE_INFO(files->data));
    TfMenuClient* client = tf_menu_client_get_default();
    g_autoptr(TfMenu) menu = tf_menu_for_selection(client, (const char* const*)uris->pdata, parent);
    g_ptr_array_unref(uris);
    return tf_menu_render(menu, &kToolkit, client);
}

static GList* get_background_items(NemoMenuProvider* provider, GtkWidget* window,
                                   NemoFileInfo* current_folder) {
    (void)provider;
    (void)window;
    if (current_folder == NULL) {
        return NULL;
    }
    g_autofree char* uri = nemo_file_info_get_uri(current_folder);
    TfMenuClient* client = tf_menu_client_get_default();
    g_autoptr(TfMenu) menu = tf_menu_for_folder(client, uri);
    return tf_menu_render(menu, &kToolkit, client);
}

static void menu_provider_iface_init(NemoMenuProviderInterface* iface) {
    iface->get_file_items = get_file_items;
    iface->get_background_items = get_background_items;
}

static void on_menu_changed(gpointer user_data) {
    nemo_menu_provider_emit_items_updated_signal(NEMO_MENU_PROVIDER(user_data));
}

static void tf_nemo_provider_init(TfNemoProvider* self) {
    TfMenuClient* client = tf_menu_client_get_default();
    self->changes_watch = tf_menu_client_watch_changes(client, on_menu_changed, self, NULL);
    tf_menu_client_start_service(client);
}

static void tf_nemo_provider_dispose(GObject* object) {
    TfNemoProvider* self = TF_NEMO_PROVIDER(object);
    tf_menu_client_unwatch_changes(tf_menu_client_get_default(), self->changes_watch);
    self->changes_watch = 0;
    G_OBJECT_CLASS(tf_nemo_provider_parent_class)->dispose(object);
}

static void tf_nemo_provider_class_init(TfNemoProviderClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = tf_nemo_provider_dispose;
}

static void tf_nemo_provider_class_finalize(TfNemoProviderClass* klass) {
    (void)klass;
}

static GType provider_types[1];

G_MODULE_EXPORT void nemo_module_initialize(GTypeModule* module) {
    tf_nemo_provider_register_type(module);
    provider_types[0] = TF_TYPE_NEMO_PROVIDER;
}

G_MODULE_EXPORT void nemo_module_shutdown(void) {}

G_MODULE_EXPORT void nemo_module_list_types(const GType** types, int* num_types) {
    *types = provider_types;
    *num_types = G_N_ELEMENTS(provider_types);
}
