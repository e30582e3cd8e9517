#include "host_common.h"

#include <gmodule.h>
#include <stdio.h>
#include <string.h>

#include "fake_service.h"
#include "tf_menu_client.h"

/* ---- checks ---- */

static int failures;

static gboolean check(gboolean ok, const char* what, const char* file, int line) {
    if (!ok) {
        g_printerr("%s:%d: check failed: %s\n", file, line, what);
        ++failures;
    }
    return ok;
}

#define CHECK(cond) check((cond), #cond, __FILE__, __LINE__)
#define CHECK_STR(actual, expected)                                                         \
    do {                                                                                    \
        const char* a_ = (actual);                                                          \
        const char* e_ = (expected);                                                        \
        if (!check(g_strcmp0(a_, e_) == 0, #actual " == " #expected, __FILE__, __LINE__)) { \
            g_printerr("    actual:   %s\n    expected: %s\n", a_, e_);                     \
        }                                                                                   \
    } while (0)

static double seconds_since(gint64 start_us) {
    return (double)(g_get_monotonic_time() - start_us) / 1e6;
}

/* Polls cond while dispatching the default main context, until it holds or the deadline. */
static gboolean wait_until(gboolean (*cond)(gpointer), gpointer data, int timeout_ms) {
    const gint64 deadline = g_get_monotonic_time() + (gint64)timeout_ms * 1000;
    while (!cond(data)) {
        if (g_get_monotonic_time() > deadline) {
            return FALSE;
        }
        while (g_main_context_iteration(NULL, FALSE)) {
        }
        g_usleep(10 * 1000);
    }
    return TRUE;
}

/* ---- loading the module the way the file managers do ---- */

typedef struct {
    GTypeModule parent_instance;
    char* path;
    char* prefix;
    GModule* library;
    void (*shutdown)(void);
} HostModule;

typedef struct {
    GTypeModuleClass parent_class;
} HostModuleClass;

static GType host_module_get_type(void);
G_DEFINE_TYPE(HostModule, host_module, G_TYPE_TYPE_MODULE)

/* Function pointers are filled through an object pointer, as ISO C allows no direct cast. */
static gboolean lookup(GModule* library, const char* prefix, const char* name, gpointer* symbol) {
    g_autofree char* full = g_strdup_printf("%s_module_%s", prefix, name);
    return g_module_symbol(library, full, symbol);
}

static gboolean host_module_load(GTypeModule* type_module) {
    HostModule* self = (HostModule*)type_module;
    self->library = g_module_open(self->path, G_MODULE_BIND_LAZY | G_MODULE_BIND_LOCAL);
    if (self->library == NULL) {
        g_printerr("cannot open module: %s\n", g_module_error());
        return FALSE;
    }
    void (*initialize)(GTypeModule*) = NULL;
    if (!lookup(self->library, self->prefix, "initialize", (gpointer*)&initialize) ||
        !lookup(self->library, self->prefix, "shutdown", (gpointer*)&self->shutdown)) {
        g_printerr("module entry points missing\n");
        return FALSE;
    }
    initialize(type_module);
    return TRUE;
}

static void host_module_unload(GTypeModule* type_module) {
    HostModule* self = (HostModule*)type_module;
    self->shutdown();
    g_module_close(self->library);
    self->library = NULL;
}

static void host_module_class_init(HostModuleClass* klass) {
    G_TYPE_MODULE_CLASS(klass)->load = host_module_load;
    G_TYPE_MODULE_CLASS(klass)->unload = host_module_unload;
}

static void host_module_init(HostModule* self) {
    (void)self;
}

static GObject* load_provider(const HostFileManager* fm, const char* path) {
    HostModule* module = g_object_new(host_module_get_type(), NULL);
    module->path = g_strdup(path);
    module->prefix = g_strdup(fm->symbol_prefix);
    if (!g_type_module_use(G_TYPE_MODULE(module))) {
        return NULL;
    }
    void (*list_types)(const GType**, int*) = NULL;
    if (!lookup(module->library, fm->symbol_prefix, "list_types", (gpointer*)&list_types)) {
        return NULL;
    }
    const GType* types = NULL;
    int count = 0;
    list_types(&types, &count);
    for (int i = 0; i < count; ++i) {
        if (g_type_is_a(types[i], fm->provider_interface())) {
            return g_object_new(types[i], NULL);
        }
    }
    g_printerr("module lists no menu provider\n");
    return NULL;
}

/* ---- what the plugin returned, in one shape for both file managers ---- */

typedef struct HostItem HostItem;
struct HostItem {
    char* name;
    char* label;
    char* tip;
    gboolean separator;
    GPtrArray* children; /* NULL unless the item has a submenu */
    GObject* object;
};

static void host_item_free(gpointer data) {
    HostItem* item = data;
    g_free(item->name);
    g_free(item->label);
    g_free(item->tip);
    if (item->children != NULL) {
        g_ptr_array_unref(item->children);
    }
    g_object_unref(item->object);
    g_free(item);
}

static GPtrArray* convert_items(const HostFileManager* fm, GList* list);

static void free_items(const HostFileManager* fm, GList* list) {
    if (list != NULL) {
        fm->free_items(list);
    }
}

static HostItem* convert_item(const HostFileManager* fm, GObject* object) {
    HostItem* item = g_new0(HostItem, 1);
    item->object = g_object_ref(object);
    GObject* menu = NULL;
    g_object_get(object, "name", &item->name, "label", &item->label, "tip", &item->tip, "menu",
                 &menu, NULL);
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(object), "separator") != NULL) {
        g_object_get(object, "separator", &item->separator, NULL);
    }
    if (menu != NULL) {
        GList* children = fm->menu_items(menu);
        item->children = convert_items(fm, children);
        free_items(fm, children);
        g_object_unref(menu);
    }
    return item;
}

static GPtrArray* convert_items(const HostFileManager* fm, GList* list) {
    GPtrArray* items = g_ptr_array_new_with_free_func(host_item_free);
    for (GList* l = list; l != NULL; l = l->next) {
        g_ptr_array_add(items, convert_item(fm, l->data));
    }
    return items;
}

typedef struct {
    const HostFileManager* fm;
    GObject* provider;
    char* folder; /* a local folder with a.txt and b.txt */
    char* folder_uri;
} Host;

static GPtrArray* file_items(Host* host, const char* const* uris) {
    GList* files = NULL;
    for (const char* const* uri = uris; *uri != NULL; ++uri) {
        files = g_list_append(files, host->fm->new_file(*uri, FALSE));
    }
    GList* raw = host->fm->file_items(host->provider, files);
    GPtrArray* items = convert_items(host->fm, raw);
    free_items(host->fm, raw);
    g_list_free_full(files, g_object_unref);
    return items;
}

static GPtrArray* background_items(Host* host, const char* folder_uri) {
    g_autoptr(GObject) folder = host->fm->new_file(folder_uri, TRUE);
    GList* raw = host->fm->background_items(host->provider, folder);
    GPtrArray* items = convert_items(host->fm, raw);
    free_items(host->fm, raw);
    return items;
}

static char* file_uri(Host* host, const char* name) {
    g_autofree char* path = g_build_filename(host->folder, name, NULL);
    return g_filename_to_uri(path, NULL, NULL);
}

/* "New File[Text Document|-|Markdown Document]|Copy Path": labels, "-" for a separator. */
static void describe_into(GString* out, GPtrArray* items) {
    for (guint i = 0; i < items->len; ++i) {
        const HostItem* item = g_ptr_array_index(items, i);
        if (i > 0) {
            g_string_append_c(out, '|');
        }
        g_string_append(out, item->separator ? "-" : item->label);
        if (item->children != NULL) {
            g_string_append_c(out, '[');
            describe_into(out, item->children);
            g_string_append_c(out, ']');
        }
    }
}

static char* describe(GPtrArray* items) {
    GString* out = g_string_new(NULL);
    describe_into(out, items);
    return g_string_free(out, FALSE);
}

static const HostItem* find(GPtrArray* items, const char* label) {
    for (guint i = 0; items != NULL && i < items->len; ++i) {
        const HostItem* item = g_ptr_array_index(items, i);
        if (!item->separator && g_strcmp0(item->label, label) == 0) {
            return item;
        }
    }
    return NULL;
}

static const HostItem* find_in(GPtrArray* items, const char* head, const char* label) {
    const HostItem* parent = find(items, head);
    return parent != NULL ? find(parent->children, label) : NULL;
}

/* Adds every item name to names; FALSE when one was there already. */
static gboolean collect_names(GPtrArray* items, GHashTable* names) {
    gboolean unique = TRUE;
    for (guint i = 0; i < items->len; ++i) {
        const HostItem* item = g_ptr_array_index(items, i);
        unique = g_hash_table_add(names, g_strdup(item->name)) && unique;
        if (item->children != NULL) {
            unique = collect_names(item->children, names) && unique;
        }
    }
    return unique;
}

static gboolean all_named_with(GPtrArray* items, const char* prefix) {
    for (guint i = 0; i < items->len; ++i) {
        const HostItem* item = g_ptr_array_index(items, i);
        if (!g_str_has_prefix(item->name, prefix) ||
            (item->children != NULL && !all_named_with(item->children, prefix))) {
            return FALSE;
        }
    }
    return TRUE;
}

static gboolean all_have_tips(GPtrArray* items) {
    for (guint i = 0; i < items->len; ++i) {
        const HostItem* item = g_ptr_array_index(items, i);
        if (item->tip == NULL || (item->children != NULL && !all_have_tips(item->children))) {
            return FALSE;
        }
    }
    return TRUE;
}

/* The menu id a rendered menu carries in its item names ("Trackfolio::kind:id:tag:index"). */
static guint64 menu_id_of(GPtrArray* items) {
    if (items->len == 0) {
        return 0;
    }
    const HostItem* first = g_ptr_array_index(items, 0);
    int kind = 0;
    guint64 id = 0;
    return sscanf(first->name, "Trackfolio::%d:%" G_GUINT64_FORMAT ":", &kind, &id) == 2 ? id : 0;
}

static void click(const HostItem* item) {
    g_signal_emit_by_name(item->object, "activate");
}

/* ---- cases against the scripted service ---- */

static const char* const kFileMenu =
    "[{\"key\":\"New File\",\"title\":\"New File\",\"icon\":\"document-new\",\"tag\":1,"
    "\"separator\":false,\"children\":["
    "{\"key\":\"txt\",\"title\":\"Text Document\",\"icon\":\"text-x-generic\",\"tag\":101,"
    "\"separator\":false},"
    "{\"key\":\"\",\"title\":\"\",\"icon\":\"\",\"tag\":0,\"separator\":true},"
    "{\"key\":\"md\",\"title\":\"Markdown Document\",\"icon\":\"\",\"tag\":102,"
    "\"separator\":false}]},"
    "{\"key\":\"\",\"title\":\"\",\"icon\":\"\",\"tag\":0,\"separator\":true},"
    "{\"key\":\"Copy Path\",\"title\":\"Copy_Path\",\"icon\":\"\",\"tag\":16,\"separator\":false},"
    "{\"key\":\"Empty\",\"title\":\"Nothing Inside\",\"icon\":\"\",\"tag\":5,\"separator\":false,"
    "\"children\":[]},"
    "{\"key\":\"Trackfolio\",\"title\":\"Trackfolio\",\"icon\":\"\",\"tag\":0,\"separator\":false,"
    "\"action\":\"settings\"}]";

/* Same tags as the item menu: the names must still differ. */
static const char* const kBackgroundMenu =
    "[{\"key\":\"Copy Path\",\"title\":\"Copy Path\",\"icon\":\"\",\"tag\":16,\"separator\":false},"
    "{\"key\":\"New File\",\"title\":\"New File\",\"icon\":\"\",\"tag\":1,\"separator\":false,"
    "\"children\":[{\"key\":\"txt\",\"title\":\"Text Document\",\"icon\":\"\",\"tag\":101,"
    "\"separator\":false}]}]";

typedef struct {
    FakeService* fake;
    guint activations;
} ActivationWait;

static gboolean activations_reached(gpointer data) {
    ActivationWait* wait = data;
    return fake_service_activations(wait->fake) >= wait->activations;
}

static gboolean expect_click(FakeService* fake, const HostItem* item, guint64 menu_id, gint64 tag) {
    if (!CHECK(item != NULL)) {
        return FALSE;
    }
    ActivationWait wait = {fake, fake_service_activations(fake) + 1};
    click(item);
    if (!CHECK(wait_until(activations_reached, &wait, 5000))) {
        return FALSE;
    }
    FakeActivation last = fake_service_last_activation(fake);
    return CHECK(last.menu_id == menu_id) && CHECK(last.tag == tag);
}

static void case_absent_service_is_quick(Host* host) {
    g_autofree char* a = file_uri(host, "a.txt");
    const char* const uris[] = {a, NULL};
    const gint64 start = g_get_monotonic_time();
    g_autoptr(GPtrArray) items = file_items(host, uris);
    CHECK(items->len == 0);
    CHECK(seconds_since(start) < 1.0);
}

typedef struct {
    Host* host;
    FakeService* fake;
} Probe;

static gboolean menu_reaches_service(gpointer data) {
    Probe* probe = data;
    g_autofree char* a = file_uri(probe->host, "a.txt");
    const char* const uris[] = {a, NULL};
    g_autoptr(GPtrArray) items = file_items(probe->host, uris);
    return items->len > 0;
}

/* A service that appears ends the back-off at once, not after the interval. */
static void case_service_appearing_is_used(Host* host, FakeService* fake) {
    const gint64 start = g_get_monotonic_time();
    Probe probe = {host, fake};
    CHECK(wait_until(menu_reaches_service, &probe, 5000));
    CHECK(seconds_since(start) < 2.0);
}

static void case_item_menu_rendering(Host* host, FakeService* fake) {
    g_autofree char* a = file_uri(host, "a.txt");
    g_autofree char* b = file_uri(host, "b.txt");
    const char* const uris[] = {b, a, NULL};
    g_autoptr(GPtrArray) items = file_items(host, uris);
    g_autofree char* shape = describe(items);
    /* Underscores doubled for mnemonic parsing; the empty submenu is left out. */
    CHECK_STR(shape, host->fm->has_separators
                         ? "New File[Text Document|-|Markdown Document]|-|Copy__Path|Trackfolio"
                         : "New File[Text Document|Markdown Document]|Copy__Path|Trackfolio");
    if (host->fm->needs_tips) {
        CHECK(all_have_tips(items));
    }
    const HostItem* copy = find(items, "Copy__Path");
    if (CHECK(copy != NULL)) {
        CHECK_STR(copy->tip, "Copy_Path");
    }

    FakeRequest request = fake_service_last_request(fake);
    CHECK(request.kind == 0);
    CHECK(request.selection != NULL && g_strv_length(request.selection) == 2);
    if (request.selection != NULL && g_strv_length(request.selection) == 2) {
        CHECK_STR(request.selection[0], b);
        CHECK_STR(request.selection[1], a);
    }
    CHECK_STR(request.target, host->folder_uri);
    g_autofree char* prefix =
        g_strdup_printf("Trackfolio::0:%" G_GUINT64_FORMAT ":", fake_service_last_menu_id(fake, 0));
    CHECK(all_named_with(items, prefix));
    fake_request_clear(&request);
}

static void case_background_rendering_and_unique_names(Host* host, FakeService* fake) {
    g_autofree char* a = file_uri(host, "a.txt");
    const char* const uris[] = {a, NULL};
    g_autoptr(GPtrArray) file_menu = file_items(host, uris);
    g_autoptr(GPtrArray) background = background_items(host, host->folder_uri);
    g_autofree char* shape = describe(background);
    CHECK_STR(shape, "Copy Path|New File[Text Document]");

    FakeRequest request = fake_service_last_request(fake);
    CHECK(request.kind == 1);
    CHECK(request.selection != NULL && g_strv_length(request.selection) == 0);
    CHECK_STR(request.target, host->folder_uri);
    fake_request_clear(&request);

    g_autoptr(GHashTable) names = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL);
    CHECK(collect_names(file_menu, names));
    CHECK(collect_names(background, names));
}

/* Nautilus asks for both menus at each selection change; a click on either must name its own
 * menu, including the fold entry's tag 0. */
static void case_clicks_report_menu_and_tag(Host* host, FakeService* fake) {
    g_autofree char* a = file_uri(host, "a.txt");
    const char* const uris[] = {a, NULL};
    g_autoptr(GPtrArray) file_menu = file_items(host, uris);
    g_autoptr(GPtrArray) background = background_items(host, host->folder_uri);
    const guint64 file_id = menu_id_of(file_menu);
    const guint64 background_id = menu_id_of(background);
    CHECK(file_id != 0 && background_id != 0 && file_id != background_id);

    expect_click(fake, find_in(file_menu, "New File", "Markdown Document"), file_id, 102);
    expect_click(fake, find(file_menu, "Trackfolio"), file_id, 0);
    expect_click(fake, find(background, "Copy Path"), background_id, 16);
    expect_click(fake, find_in(background, "New File", "Text Document"), background_id, 101);
}

static gboolean same_names(GPtrArray* a, GPtrArray* b) {
    if (a->len != b->len) {
        return FALSE;
    }
    for (guint i = 0; i < a->len; ++i) {
        const HostItem* x = g_ptr_array_index(a, i);
        const HostItem* y = g_ptr_array_index(b, i);
        if (g_strcmp0(x->name, y->name) != 0) {
            return FALSE;
        }
    }
    return TRUE;
}

static void on_items_updated(GObject* provider, gpointer user_data) {
    (void)provider;
    ++*(guint*)user_data;
}

static gboolean counter_positive(gpointer data) {
    return *(guint*)data > 0;
}

/* Waits until the provider saw MenuChanged (and so did the client, which subscribed first). */
static gboolean announce_menu_changed(Host* host, FakeService* fake) {
    guint updates = 0;
    const gulong handler =
        g_signal_connect(host->provider, "items-updated", G_CALLBACK(on_items_updated), &updates);
    fake_service_emit_menu_changed(fake);
    const gboolean seen = wait_until(counter_positive, &updates, 5000);
    g_signal_handler_disconnect(host->provider, handler);
    return seen;
}

/* Nautilus re-asks for a menu it may still be showing: the same request gets the same menu
 * (ids and names) without a call, until a click or a settings change. */
static void case_repeated_request_reuses_menu(Host* host, FakeService* fake) {
    g_autofree char* b = file_uri(host, "b.txt");
    const char* const uris[] = {b, NULL};
    guint calls = fake_service_get_calls(fake);
    g_autoptr(GPtrArray) first = file_items(host, uris);
    g_autoptr(GPtrArray) again = file_items(host, uris);
    CHECK(fake_service_get_calls(fake) == calls + 1);
    CHECK(first->len > 0 && same_names(first, again));

    expect_click(fake, find(again, "Copy__Path"), menu_id_of(first), 16);
    calls = fake_service_get_calls(fake);
    g_autoptr(GPtrArray) after_click = file_items(host, uris);
    CHECK(fake_service_get_calls(fake) == calls + 1);
    CHECK(menu_id_of(after_click) != menu_id_of(first));

    CHECK(announce_menu_changed(host, fake));
    calls = fake_service_get_calls(fake);
    g_ptr_array_unref(file_items(host, uris));
    CHECK(fake_service_get_calls(fake) == calls + 1);

    g_autofree char* a = file_uri(host, "a.txt");
    const char* const other[] = {a, b, NULL};
    calls = fake_service_get_calls(fake);
    g_ptr_array_unref(file_items(host, other));
    CHECK(fake_service_get_calls(fake) == calls + 1);
}

static void case_non_local_locations_make_no_call(Host* host, FakeService* fake) {
    g_autofree char* a = file_uri(host, "a.txt");
    const char* const trash[] = {"trash:///a.txt", NULL};
    const char* const sftp[] = {"sftp://example.org/home/a.txt", NULL};
    const char* const recent[] = {"recent:///0123abcd", NULL};
    const char* const mixed[] = {a, "smb://server/share/b.txt", NULL};
    const char* const* selections[] = {trash, sftp, recent, mixed};

    const guint calls = fake_service_get_calls(fake);
    for (gsize i = 0; i < G_N_ELEMENTS(selections); ++i) {
        g_autoptr(GPtrArray) items = file_items(host, selections[i]);
        CHECK(items->len == 0);
    }
    const char* const folders[] = {"trash:///", "smb://server/share/", "network:///"};
    for (gsize i = 0; i < G_N_ELEMENTS(folders); ++i) {
        g_autoptr(GPtrArray) items = background_items(host, folders[i]);
        CHECK(items->len == 0);
    }
    CHECK(fake_service_get_calls(fake) == calls);
}

/* Answers that hold nothing to show give no entries, and unlike a dead service they do not
 * stop the next request from reaching the service. */
static void case_unusable_answers_give_nothing(Host* host, FakeService* fake) {
    g_autofree char* a = file_uri(host, "a.txt");
    const char* const uris[] = {a, NULL};
    const char* const answers[] = {"[]", "not json", "{\"key\":\"x\"}", "[1, \"two\", null]"};
    for (gsize i = 0; i < G_N_ELEMENTS(answers); ++i) {
        fake_service_set_menu(fake, 0, answers[i]);
        const guint calls = fake_service_get_calls(fake);
        g_autoptr(GPtrArray) items = file_items(host, uris);
        CHECK(items->len == 0);
        CHECK(fake_service_get_calls(fake) == calls + 1);
    }

    g_autofree char* failing = file_uri(host, FAKE_FAILING_NAME);
    const char* const failing_uris[] = {failing, NULL};
    fake_service_set_menu(fake, 0, kFileMenu);
    g_autoptr(GPtrArray) refused = file_items(host, failing_uris);
    CHECK(refused->len == 0);
    const guint calls = fake_service_get_calls(fake);
    g_autoptr(GPtrArray) items = file_items(host, uris);
    CHECK(items->len > 0);
    CHECK(fake_service_get_calls(fake) == calls + 1);
}

static void case_menu_changed_refreshes(Host* host, FakeService* fake) {
    CHECK(announce_menu_changed(host, fake));
}

/* ---- cases against a service that never answers ---- */

static void case_silent_service_gives_nothing_in_time(Host* host, FakeService* fake) {
    g_autofree char* a = file_uri(host, "a.txt");
    const char* const uris[] = {a, NULL};
    gint64 start = g_get_monotonic_time();
    g_autoptr(GPtrArray) first = file_items(host, uris);
    const double waited = seconds_since(start);
    CHECK(first->len == 0);
    CHECK(waited >= 1.5 && waited <= 3.0);
    CHECK(fake_service_get_calls(fake) == 1);

    /* The rest of the burst (again, and the background menu) must not wait again. */
    start = g_get_monotonic_time();
    g_autoptr(GPtrArray) second = file_items(host, uris);
    g_autoptr(GPtrArray) background = background_items(host, host->folder_uri);
    CHECK(second->len == 0 && background->len == 0);
    CHECK(seconds_since(start) < 0.5);
    CHECK(fake_service_get_calls(fake) == 1);
}

/* ---- cases against the real service ---- */

typedef struct {
    GDBusConnection* bus;
} NameWait;

static gboolean service_has_owner(gpointer data) {
    NameWait* wait = data;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        wait->bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "NameHasOwner", g_variant_new("(s)", TF_MENU_BUS_NAME), G_VARIANT_TYPE("(b)"),
        G_DBUS_CALL_FLAGS_NONE, 1000, NULL, NULL);
    gboolean owned = FALSE;
    if (reply != NULL) {
        g_variant_get(reply, "(b)", &owned);
    }
    return owned;
}

static gboolean file_exists(gpointer data) {
    return g_file_test(data, G_FILE_TEST_EXISTS);
}

static void case_real_service(Host* host, GDBusConnection* bus) {
    /* Loading the module already asked the bus to start the service. */
    NameWait name_wait = {bus};
    if (!CHECK(wait_until(service_has_owner, &name_wait, 20000))) {
        return;
    }
    g_autofree char* a = file_uri(host, "a.txt");
    const char* const uris[] = {a, NULL};
    g_autoptr(GPtrArray) file_menu = file_items(host, uris);
    g_autoptr(GPtrArray) background = background_items(host, host->folder_uri);
    g_autofree char* file_shape = describe(file_menu);
    g_autofree char* background_shape = describe(background);
    printf("item menu: %s\nbackground menu: %s\n", file_shape, background_shape);

    CHECK(file_menu->len > 0 && background->len > 0);
    CHECK(all_named_with(file_menu, "Trackfolio::0:"));
    CHECK(all_named_with(background, "Trackfolio::1:"));
    g_autoptr(GHashTable) names = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, NULL);
    CHECK(collect_names(file_menu, names));
    CHECK(collect_names(background, names));
    if (host->fm->needs_tips) {
        CHECK(all_have_tips(file_menu) && all_have_tips(background));
    }

    /* The item menu was asked first and stays clickable after the background request. */
    const HostItem* text = find_in(file_menu, "New File", "Text Document");
    const HostItem* markdown = find_in(background, "New File", "Markdown Document");
    if (CHECK(text != NULL)) {
        g_autofree char* created = g_build_filename(host->folder, "Untitled.txt", NULL);
        click(text);
        CHECK(wait_until(file_exists, created, 10000));
    }
    if (CHECK(markdown != NULL)) {
        g_autofree char* created = g_build_filename(host->folder, "Untitled.md", NULL);
        click(markdown);
        CHECK(wait_until(file_exists, created, 10000));
    }

    const char* const trash[] = {"trash:///a.txt", NULL};
    g_autoptr(GPtrArray) none = file_items(host, trash);
    CHECK(none->len == 0);
}

/* ---- driver ---- */

typedef struct {
    const char* name;
    void (*run)(Host*, FakeService*);
} FakeCase;

static void run_case(const char* fm, const char* name, void (*body)(gpointer), gpointer data) {
    const int before = failures;
    g_print("[ RUN      ] %s.%s\n", fm, name);
    body(data);
    g_print("%s %s.%s\n", failures == before ? "[       OK ]" : "[  FAILED  ]", fm, name);
}

typedef struct {
    Host* host;
    FakeService* fake;
    void (*run)(Host*, FakeService*);
} CaseCall;

static void call_case(gpointer data) {
    CaseCall* call = data;
    call->run(call->host, call->fake);
}

static void call_absent(gpointer data) {
    case_absent_service_is_quick(data);
}

static gboolean prepare_folder(Host* host) {
    g_autofree char* root = g_build_filename(g_get_home_dir(), "host-XXXXXX", NULL);
    host->folder = g_mkdtemp(g_steal_pointer(&root));
    if (host->folder == NULL) {
        return FALSE;
    }
    const char* const names[] = {"a.txt", "b.txt"};
    for (gsize i = 0; i < G_N_ELEMENTS(names); ++i) {
        g_autofree char* path = g_build_filename(host->folder, names[i], NULL);
        if (!g_file_set_contents(path, "text\n", -1, NULL)) {
            return FALSE;
        }
    }
    host->folder_uri = g_filename_to_uri(host->folder, NULL, NULL);
    return TRUE;
}

static gboolean run_setup(const char* program) {
    const char* argv[] = {program, "setup", NULL};
    int status = 0;
    g_autoptr(GError) error = NULL;
    if (!g_spawn_sync(NULL, (char**)argv, NULL, G_SPAWN_STDOUT_TO_DEV_NULL, NULL, NULL, NULL, NULL,
                      &status, &error)) {
        g_printerr("setup did not run: %s\n", error->message);
        return FALSE;
    }
    return g_spawn_check_wait_status(status, NULL);
}

int host_main(const HostFileManager* fm, int argc, char** argv) {
    if (argc < 3 || (strcmp(argv[1], "service") == 0 && argc < 4)) {
        g_printerr("usage: %s fake|unresponsive|service MODULE [SETUP_PROGRAM]\n", argv[0]);
        return 2;
    }
    /* A plugin that misuses the file manager's API fails the test, as it would spam its log. */
    g_log_set_always_fatal(G_LOG_FATAL_MASK | G_LOG_LEVEL_CRITICAL);
    const char* mode = argv[1];
    Host host = {fm, NULL, NULL, NULL};
    if (!prepare_folder(&host)) {
        g_printerr("cannot prepare the test folder\n");
        return 1;
    }
    if (strcmp(mode, "service") == 0 && !run_setup(argv[3])) {
        return 1;
    }
    host.provider = load_provider(fm, argv[2]);
    if (host.provider == NULL) {
        return 1;
    }

    if (strcmp(mode, "fake") == 0) {
        run_case(fm->name, "AbsentServiceIsQuick", call_absent, &host);
        FakeService* fake = fake_service_start(FALSE, kFileMenu, kBackgroundMenu);
        if (fake == NULL) {
            return 1;
        }
        static const FakeCase cases[] = {
            {"ServiceAppearingIsUsed", case_service_appearing_is_used},
            {"ItemMenuRendering", case_item_menu_rendering},
            {"BackgroundMenuAndUniqueNames", case_background_rendering_and_unique_names},
            {"ClicksReportMenuAndTag", case_clicks_report_menu_and_tag},
            {"RepeatedRequestReusesMenu", case_repeated_request_reuses_menu},
            {"NonLocalLocationsMakeNoCall", case_non_local_locations_make_no_call},
            {"UnusableAnswersGiveNothing", case_unusable_answers_give_nothing},
            {"MenuChangedRefreshes", case_menu_changed_refreshes},
        };
        for (gsize i = 0; i < G_N_ELEMENTS(cases); ++i) {
            CaseCall call = {&host, fake, cases[i].run};
            run_case(fm->name, cases[i].name, call_case, &call);
        }
        fake_service_stop(fake);
    } else if (strcmp(mode, "unresponsive") == 0) {
        FakeService* fake = fake_service_start(TRUE, kFileMenu, kBackgroundMenu);
        if (fake == NULL) {
            return 1;
        }
        CaseCall call = {&host, fake, case_silent_service_gives_nothing_in_time};
        run_case(fm->name, "SilentServiceGivesNothingInTime", call_case, &call);
        fake_service_stop(fake);
    } else if (strcmp(mode, "service") == 0) {
        g_autoptr(GDBusConnection) bus = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, NULL);
        if (bus == NULL) {
            g_printerr("no session bus\n");
            return 1;
        }
        const int before = failures;
        g_print("[ RUN      ] %s.RealService\n", fm->name);
        case_real_service(&host, bus);
        g_print("%s %s.RealService\n", failures == before ? "[       OK ]" : "[  FAILED  ]",
                fm->name);
        /* Let the activated service go; the private bus ends with this test anyway. */
        GVariant* quit = g_dbus_connection_call_sync(
            bus, TF_MENU_BUS_NAME, TF_MENU_OBJECT_PATH, TF_MENU_INTERFACE, "Quit", NULL, NULL,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, NULL, NULL);
        g_clear_pointer(&quit, g_variant_unref);
    } else {
        g_printerr("unknown mode %s\n", mode);
        return 2;
    }
    g_print("%d check(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
