/* Loads the Nemo module and runs the shared cases with Nemo's own types. */
#include <libnemo-extension/nemo-file-info.h>
#include <libnemo-extension/nemo-menu-provider.h>
#include <libnemo-extension/nemo-menu.h>

#include "host_common.h"

#define HOST_TYPE_FILE (host_file_get_type())
G_DECLARE_FINAL_TYPE(HostFile, host_file, HOST, FILE, GObject)

struct _HostFile {
    GObject parent_instance;
    GFile* location;
    gboolean directory;
};

static void file_info_iface_init(NemoFileInfoInterface* iface);

G_DEFINE_TYPE_WITH_CODE(HostFile, host_file, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(NEMO_TYPE_FILE_INFO, file_info_iface_init))

static gboolean is_gone(NemoFileInfo* info) {
    (void)info;
    return FALSE;
}

static char* get_name(NemoFileInfo* info) {
    return g_file_get_basename(HOST_FILE(info)->location);
}

static char* get_uri(NemoFileInfo* info) {
    return g_file_get_uri(HOST_FILE(info)->location);
}

static char* get_parent_uri(NemoFileInfo* info) {
    g_autoptr(GFile) parent = g_file_get_parent(HOST_FILE(info)->location);
    return parent != NULL ? g_file_get_uri(parent) : g_strdup("");
}

static char* get_uri_scheme(NemoFileInfo* info) {
    return g_file_get_uri_scheme(HOST_FILE(info)->location);
}

static char* get_mime_type(NemoFileInfo* info) {
    return g_strdup(HOST_FILE(info)->directory ? "inode/directory" : "text/plain");
}

static gboolean is_mime_type(NemoFileInfo* info, const char* mime_type) {
    g_autofree char* own = get_mime_type(info);
    return g_content_type_is_a(own, mime_type);
}

static gboolean is_directory(NemoFileInfo* info) {
    return HOST_FILE(info)->directory;
}

static GFileType get_file_type(NemoFileInfo* info) {
    return HOST_FILE(info)->directory ? G_FILE_TYPE_DIRECTORY : G_FILE_TYPE_REGULAR;
}

static GFile* get_location(NemoFileInfo* info) {
    return g_object_ref(HOST_FILE(info)->location);
}

static GFile* get_parent_location(NemoFileInfo* info) {
    return g_file_get_parent(HOST_FILE(info)->location);
}

static gboolean can_write(NemoFileInfo* info) {
    (void)info;
    return TRUE;
}

static void file_info_iface_init(NemoFileInfoInterface* iface) {
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
    return NEMO_TYPE_MENU_PROVIDER;
}

static GList* file_items(GObject* provider, GList* files) {
    return nemo_menu_provider_get_file_items(NEMO_MENU_PROVIDER(provider), NULL, files);
}

static GList* background_items(GObject* provider, GObject* folder) {
    return nemo_menu_provider_get_background_items(NEMO_MENU_PROVIDER(provider), NULL,
                                                   NEMO_FILE_INFO(folder));
}

static GList* menu_items(GObject* menu) {
    return nemo_menu_get_items(NEMO_MENU(menu));
}

int main(int argc, char** argv) {
    static const HostFileManager kFileManager = {
        .name = "nemo",
        .symbol_prefix = "nemo",
        .provider_interface = provider_interface,
        .file_items = file_items,
        .background_items = background_items,
        .menu_items = menu_items,
        .free_items = nemo_menu_item_list_free,
        .new_file = new_file,
        .has_separators = TRUE,
        .needs_tips = TRUE,
    };
    return host_main(&kFileManager, argc, argv);
}
