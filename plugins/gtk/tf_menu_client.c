#include "tf_menu_client.h"

#include <json-glib/json-glib.h>
#include <string.h>

enum {
    kDefaultTimeoutMs = 2000,
    /* Long enough to cover the burst of requests one right-click makes, short enough that a
     * service started by hand is picked up on the next click. */
    kDefaultBackoffMs = 3000,
    kDefaultReuseMs = 5000,
    kMaxDepth = 8,
};

typedef struct {
    char* request;
    TfMenu* menu;
    gint64 expires_us;
} ReusableMenu;

struct _TfMenuClient {
    GDBusConnection* connection;
    int timeout_ms;
    int backoff_ms;
    int reuse_ms;
    gint64 retry_after_us;
    guint name_watch;
    guint changes_subscription;
    guint calls;
    ReusableMenu last[2]; /* by kind */
};

gboolean tf_uri_is_local(const char* uri) {
    if (uri == NULL) {
        return FALSE;
    }
    g_autofree char* scheme = g_uri_parse_scheme(uri);
    return scheme != NULL && g_ascii_strcasecmp(scheme, "file") == 0;
}

static const char* string_member(JsonObject* object, const char* name) {
    JsonNode* node = json_object_get_member(object, name);
    if (node == NULL || !JSON_NODE_HOLDS_VALUE(node) ||
        json_node_get_value_type(node) != G_TYPE_STRING) {
        return "";
    }
    return json_node_get_string(node);
}

static gboolean bool_member(JsonObject* object, const char* name) {
    JsonNode* node = json_object_get_member(object, name);
    return node != NULL && JSON_NODE_HOLDS_VALUE(node) &&
           json_node_get_value_type(node) == G_TYPE_BOOLEAN && json_node_get_boolean(node);
}

static gint64 int_member(JsonObject* object, const char* name) {
    JsonNode* node = json_object_get_member(object, name);
    if (node == NULL || !JSON_NODE_HOLDS_VALUE(node) ||
        json_node_get_value_type(node) != G_TYPE_INT64) {
        return 0;
    }
    return json_node_get_int(node);
}

static void entry_free(gpointer data) {
    TfMenuEntry* entry = data;
    g_free(entry->key);
    g_free(entry->title);
    g_free(entry->icon);
    if (entry->children != NULL) {
        g_ptr_array_unref(entry->children);
    }
    g_free(entry);
}

static GPtrArray* parse_list(JsonArray* array, int depth) {
    GPtrArray* entries = g_ptr_array_new_with_free_func(entry_free);
    const guint length = json_array_get_length(array);
    for (guint i = 0; i < length; ++i) {
        JsonNode* node = json_array_get_element(array, i);
        if (!JSON_NODE_HOLDS_OBJECT(node)) {
            continue;
        }
        JsonObject* object = json_node_get_object(node);
        TfMenuEntry* entry = g_new0(TfMenuEntry, 1);
        entry->key = g_strdup(string_member(object, "key"));
        entry->title = g_strdup(string_member(object, "title"));
        entry->icon = g_strdup(string_member(object, "icon"));
        entry->tag = int_member(object, "tag");
        entry->separator = bool_member(object, "separator");
        entry->settings = strcmp(string_member(object, "action"), "settings") == 0;
        JsonNode* children = json_object_get_member(object, "children");
        if (!entry->separator && children != NULL && JSON_NODE_HOLDS_ARRAY(children) &&
            depth < kMaxDepth) {
            entry->children = parse_list(json_node_get_array(children), depth + 1);
        }
        g_ptr_array_add(entries, entry);
    }
    return entries;
}

GPtrArray* tf_menu_parse_entries(const char* json, GError** error) {
    g_autoptr(JsonParser) parser = json_parser_new();
    if (!json_parser_load_from_data(parser, json, -1, error)) {
        return NULL;
    }
    JsonNode* root = json_parser_get_root(parser);
    if (root == NULL || !JSON_NODE_HOLDS_ARRAY(root)) {
        g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_INVALID_DATA, "menu is not a list");
        return NULL;
    }
    return parse_list(json_node_get_array(root), 0);
}

TfMenu* tf_menu_ref(TfMenu* menu) {
    g_atomic_int_inc(&menu->ref_count);
    return menu;
}

void tf_menu_unref(TfMenu* menu) {
    if (menu == NULL || !g_atomic_int_dec_and_test(&menu->ref_count)) {
        return;
    }
    if (menu->entries != NULL) {
        g_ptr_array_unref(menu->entries);
    }
    g_free(menu);
}

char* tf_menu_item_name(int kind, guint64 menu_id, gint64 tag, guint index) {
    return g_strdup_printf("Trackfolio::%d:%" G_GUINT64_FORMAT ":%" G_GINT64_FORMAT ":%u", kind,
                           menu_id, tag, index);
}

char* tf_menu_escape_label(const char* title) {
    GString* label = g_string_sized_new(strlen(title) + 4);
    for (const char* p = title; *p != '\0'; ++p) {
        if (*p == '_') {
            g_string_append_c(label, '_');
        }
        g_string_append_c(label, *p);
    }
    return g_string_free(label, FALSE);
}

TfMenuClient* tf_menu_client_new(int timeout_ms, int backoff_ms, int reuse_ms) {
    TfMenuClient* client = g_new0(TfMenuClient, 1);
    client->timeout_ms = timeout_ms;
    client->backoff_ms = backoff_ms;
    client->reuse_ms = reuse_ms;
    return client;
}

static void forget_menus(TfMenuClient* client) {
    for (gsize i = 0; i < G_N_ELEMENTS(client->last); ++i) {
        g_clear_pointer(&client->last[i].request, g_free);
        g_clear_pointer(&client->last[i].menu, tf_menu_unref);
    }
}

TfMenuClient* tf_menu_client_get_default(void) {
    static TfMenuClient* client;
    if (client == NULL) {
        client = tf_menu_client_new(kDefaultTimeoutMs, kDefaultBackoffMs, kDefaultReuseMs);
    }
    return client;
}

void tf_menu_client_free(TfMenuClient* client) {
    if (client == NULL) {
        return;
    }
    if (client->name_watch != 0) {
        g_bus_unwatch_name(client->name_watch);
    }
    if (client->changes_subscription != 0) {
        g_dbus_connection_signal_unsubscribe(client->connection, client->changes_subscription);
    }
    forget_menus(client);
    g_clear_object(&client->connection);
    g_free(client);
}

guint tf_menu_client_call_count(TfMenuClient* client) {
    return client->calls;
}

static void back_off(TfMenuClient* client) {
    client->retry_after_us = g_get_monotonic_time() + (gint64)client->backoff_ms * 1000;
}

static void on_name_appeared(GDBusConnection* connection, const char* name, const char* owner,
                             gpointer user_data) {
    (void)connection;
    (void)name;
    (void)owner;
    TfMenuClient* client = user_data;
    client->retry_after_us = 0;
}

static void on_menu_changed_forget(GDBusConnection* connection, const char* sender,
                                   const char* path, const char* interface, const char* signal,
                                   GVariant* parameters, gpointer user_data) {
    (void)connection;
    (void)sender;
    (void)path;
    (void)interface;
    (void)signal;
    (void)parameters;
    forget_menus(user_data);
}

static GDBusConnection* connection_for(TfMenuClient* client) {
    if (client->connection == NULL) {
        g_autoptr(GError) error = NULL;
        client->connection = g_bus_get_sync(G_BUS_TYPE_SESSION, NULL, &error);
        if (client->connection == NULL) {
            g_debug("trackfolio: no session bus: %s", error->message);
            back_off(client);
            return NULL;
        }
        client->name_watch = g_bus_watch_name_on_connection(client->connection, TF_MENU_BUS_NAME,
                                                            G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                            on_name_appeared, NULL, client, NULL);
        client->changes_subscription = g_dbus_connection_signal_subscribe(
            client->connection, TF_MENU_BUS_NAME, TF_MENU_INTERFACE, "MenuChanged",
            TF_MENU_OBJECT_PATH, NULL, G_DBUS_SIGNAL_FLAGS_NONE, on_menu_changed_forget, client,
            NULL);
    }
    return client->connection;
}

/* Errors of the bus or the transport, as opposed to a reply of the service itself. */
static gboolean is_transport_error(const GError* error) {
    if (error->domain == G_IO_ERROR) {
        return error->code != G_IO_ERROR_DBUS_ERROR;
    }
    if (error->domain != G_DBUS_ERROR) {
        return FALSE;
    }
    switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_NO_REPLY:
        case G_DBUS_ERROR_TIMEOUT:
        case G_DBUS_ERROR_TIMED_OUT:
        case G_DBUS_ERROR_NO_SERVER:
        case G_DBUS_ERROR_DISCONNECTED:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SETUP_FAILED:
        case G_DBUS_ERROR_SPAWN_CONFIG_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
            return TRUE;
        default:
            return FALSE;
    }
}

static gboolean all_local(const char* const* selection, const char* target) {
    if (!tf_uri_is_local(target)) {
        return FALSE;
    }
    for (const char* const* uri = selection; uri != NULL && *uri != NULL; ++uri) {
        if (!tf_uri_is_local(*uri)) {
            return FALSE;
        }
    }
    return TRUE;
}

/* Selection and target as one string; URIs hold no newline. */
static char* request_key(const char* const* selection, const char* target) {
    GString* key = g_string_new(target);
    for (const char* const* uri = selection; uri != NULL && *uri != NULL; ++uri) {
        g_string_append_c(key, '\n');
        g_string_append(key, *uri);
    }
    return g_string_free(key, FALSE);
}

TfMenu* tf_menu_client_get_menu(TfMenuClient* client, TfMenuKind kind, const char* const* selection,
                                const char* target) {
    if (!all_local(selection, target)) {
        return NULL;
    }
    g_autofree char* request = request_key(selection, target);
    /* Only the two menus the plugins ask for are kept. */
    ReusableMenu* last = kind == TF_MENU_KIND_ITEMS       ? &client->last[0]
                         : kind == TF_MENU_KIND_CONTAINER ? &client->last[1]
                                                          : NULL;
    if (last != NULL && last->menu != NULL && g_get_monotonic_time() < last->expires_us &&
        strcmp(last->request, request) == 0) {
        return tf_menu_ref(last->menu);
    }
    if (client->retry_after_us != 0 && g_get_monotonic_time() < client->retry_after_us) {
        return NULL;
    }
    GDBusConnection* connection = connection_for(client);
    if (connection == NULL) {
        return NULL;
    }
    static const char* const kNoSelection[] = {NULL};
    GVariant* args = g_variant_new("(i^ass)", (gint32)kind,
                                   selection != NULL ? selection : kNoSelection, target);
    ++client->calls;
    g_autoptr(GError) error = NULL;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        connection, TF_MENU_BUS_NAME, TF_MENU_OBJECT_PATH, TF_MENU_INTERFACE, "GetMenu", args,
        G_VARIANT_TYPE("(ts)"), G_DBUS_CALL_FLAGS_NONE, client->timeout_ms, NULL, &error);
    if (reply == NULL) {
        g_debug("trackfolio: GetMenu failed: %s", error->message);
        if (is_transport_error(error)) {
            back_off(client);
        }
        return NULL;
    }
    client->retry_after_us = 0;
    guint64 menu_id = 0;
    const char* json = NULL;
    g_variant_get(reply, "(t&s)", &menu_id, &json);
    g_debug("GetMenu(%d, %s) -> menu %" G_GUINT64_FORMAT, kind, target, menu_id);
    GPtrArray* entries = tf_menu_parse_entries(json, &error);
    if (entries == NULL || entries->len == 0) {
        if (entries != NULL) {
            g_ptr_array_unref(entries);
        } else {
            g_debug("trackfolio: unreadable menu: %s", error->message);
        }
        return NULL;
    }
    TfMenu* menu = g_new0(TfMenu, 1);
    menu->ref_count = 1;
    menu->menu_id = menu_id;
    menu->kind = kind;
    menu->entries = entries;
    if (last != NULL) {
        g_free(last->request);
        last->request = g_steal_pointer(&request);
        g_clear_pointer(&last->menu, tf_menu_unref);
        last->menu = tf_menu_ref(menu);
        last->expires_us = g_get_monotonic_time() + (gint64)client->reuse_ms * 1000;
    }
    return menu;
}

void tf_menu_client_start_service(TfMenuClient* client) {
    GDBusConnection* connection = connection_for(client);
    if (connection == NULL) {
        return;
    }
    g_dbus_connection_call(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                           "org.freedesktop.DBus", "StartServiceByName",
                           g_variant_new("(su)", TF_MENU_BUS_NAME, 0u), NULL,
                           G_DBUS_CALL_FLAGS_NONE, -1, NULL, NULL, NULL);
}

void tf_menu_client_activate(TfMenuClient* client, guint64 menu_id, gint64 tag) {
    /* The service takes one click per menu; the next request must get a fresh one. */
    forget_menus(client);
    GDBusConnection* connection = connection_for(client);
    if (connection == NULL) {
        return;
    }
    g_debug("Activate(%" G_GUINT64_FORMAT ", %" G_GINT64_FORMAT ")", menu_id, tag);
    /* No callback: GDBus marks the message as expecting no reply. */
    g_dbus_connection_call(connection, TF_MENU_BUS_NAME, TF_MENU_OBJECT_PATH, TF_MENU_INTERFACE,
                           "Activate", g_variant_new("(tx)", menu_id, tag), NULL,
                           G_DBUS_CALL_FLAGS_NONE, client->timeout_ms, NULL, NULL, NULL);
}

typedef struct {
    TfMenuChangedFunc func;
    gpointer user_data;
    GDestroyNotify destroy;
} ChangeWatch;

static void change_watch_free(gpointer data) {
    ChangeWatch* watch = data;
    if (watch->destroy != NULL) {
        watch->destroy(watch->user_data);
    }
    g_free(watch);
}

static void on_menu_changed(GDBusConnection* connection, const char* sender, const char* path,
                            const char* interface, const char* signal, GVariant* parameters,
                            gpointer user_data) {
    (void)connection;
    (void)sender;
    (void)path;
    (void)interface;
    (void)signal;
    (void)parameters;
    ChangeWatch* watch = user_data;
    watch->func(watch->user_data);
}

guint tf_menu_client_watch_changes(TfMenuClient* client, TfMenuChangedFunc func, gpointer user_data,
                                   GDestroyNotify destroy) {
    GDBusConnection* connection = connection_for(client);
    if (connection == NULL) {
        return 0;
    }
    ChangeWatch* watch = g_new0(ChangeWatch, 1);
    watch->func = func;
    watch->user_data = user_data;
    watch->destroy = destroy;
    return g_dbus_connection_signal_subscribe(
        connection, TF_MENU_BUS_NAME, TF_MENU_INTERFACE, "MenuChanged", TF_MENU_OBJECT_PATH, NULL,
        G_DBUS_SIGNAL_FLAGS_NONE, on_menu_changed, watch, change_watch_free);
}

void tf_menu_client_unwatch_changes(TfMenuClient* client, guint watch_id) {
    if (watch_id != 0 && client->connection != NULL) {
        g_dbus_connection_signal_unsubscribe(client->connection, watch_id);
    }
}
