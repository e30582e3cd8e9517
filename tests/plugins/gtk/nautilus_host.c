/* Loads the Nautilus module and runs the shared cases with Nautilus' own types. */
#include <nautilus-extension.h>

#include "host_common.h"

#define HOST_TYPE_FILE (host_file_get_type())
G_DECLARE_FINAL_TYPE(HostFile, host_file, HOST, FILE, GObject)

struct _HostFile {
    GObject parent_instance;
    GFile* location;
    gboolean directory;
};

static void file_info_iface_init(NautilusFileInfoInterface* iface);

G_DEFINE_TYPE_WITH_CODE(HostFile, host_file, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NAUTILUS_TYPE_FILE_INFO, file_info_iface_init))

static gboolean is_gone(NautilusFileInfo* info) {
    (void)info;
    return FALSE;
}

static char* get_name(NautilusFileInfo* info) {
    return g_file_get_basename(HOST_FILE(info)->location);
}

static char* get_uri(NautilusFileInfo* info) {
    return g_file_get_uri(HOST_FILE(info)->location);
}

static char* get_parent_uri(NautilusFileInfo* info) {
    g_autoptr(GFile) parent = g_file_get_parent(HOST_FILE(info)->location);
    return parent != NULL ? g_file_get_uri(parent) : g_strdup("");
}

static char* get_uri_scheme(NautilusFileInfo* info) {
    return g_file_get_uri_scheme(HOST_FILE(info)->location);
}

static char* get_mime_type(NautilusFileInfo* info) {
    return g_strdup(HOST_FILE(info)->directory ? "inode/directory" : "text/plain");
}

static gboolean is_mime_type(NautilusFileInfo* info, const char* mime_type) {
    g_autofree char* own = get_mime_type(info);
    return g_content_type_is_a(own, mime_type);
}

static gboolean is_directory(NautilusFileInfo* info) {
    return HOST_FILE(info)->directory;
}

static GFileType get_file_type(NautilusFileInfo* info) {
    return HOST_FILE(info)->directory ? G_FILE_TYPE_DIRECTORY : G_FILE_TYPE_REGULAR;
}

static GFile* get_location(NautilusFileInfo* info) {
    return g_object_ref(HOST_FILE(info)->location);
}

static GFile* get_parent_location(NautilusFileInfo* info) {
    return g_file_get_parent(HOST_FILE(info)->location);
}

static gboolean can_write(NautilusFileInfo* info) {
    (void)info;
    return TRUE;
}

static void file_info_iface_init(NautilusFileInfoInterface* iface) {
    iface->is_gone = is_gone;
    iface->get_name = get_name;
    iface->get_uri = get_uri;
    iface->get_activation_uri = get_uri;
    iface->get_parent_uri = get_parent_uri;
    iface->get_uri_scheme = get_uri_scheme;
    iface->get_mime_type = get_mime_type;
    iface->is_mime_type = is_mime_type;
    iface->is_directory = is_directory;
    iface->get_file_type = get_file_type;
    iface->get_location = get_location;
    iface->get_parent_location = get_parent_location;
    iface->can_write = can_write;
}

static void host_file_finalize(GObject* object) {
    g_clear_object(&HOST_FILE(object)->location);
    G_OBJECT_CLASS(host_file_parent_class)->finalize(object);
}

static void host_file_class_init(HostFileClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = host_file_finalize;
}

static void host_file_init(HostFile* self) {
    (void)self;
}

static GObject* new_file(const char* uri, gboolean is_directory_) {
    HostFile* file = g_object_new(HOST_TYPE_FILE, NULL);
    file->location = g_file_new_for_uri(uri);
    file->directory = is_directory_;
    return G_OBJECT(file);
}

static GType provider_interface(void) {
    return NAUTILUS_TYPE_MENU_PROVIDER;
}

static GList* file_items(GObject* provider, GList* files) {
    return nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(provider), files);
}

static GList* background_items(GObject* provider, GObject* folder) {
    return nautilus_menu_provider_get_background_items(NAUTILUS_MENU_PROVIDER(provider),
                                                       NAUTILUS_FILE_INFO(folder));
}

static GList* menu_items(GObject* menu) {
    return nautilus_menu_get_items(NAUTILUS_MENU(menu));
}

int main(int argc, char** argv) {
    static const HostFileManager kFileManager = {
        .name = "nautilus",
        .symbol_prefix = "nautilus",
        .provider_interface = provider_interface,
        .file_items = file_items,
        .background_items = background_items,
        .menu_items = menu_items,
        .free_items = nautilus_menu_item_list_free,
        .new_file = new_file,
        .has_separators = FALSE,
        .needs_tips = FALSE,
    };
    return host_main(&kFileManager, argc, argv);
}
