#include "fake_service.h"

#include "tf_menu_client.h"

struct _FakeService {
    GMutex lock;
    GCond cond;
    gboolean started;
    gboolean owned;
    gboolean silent;
    GThread* thread;
    GMainContext* context;
    GMainLoop* loop;
    GDBusConnection* connection;
    char* menus[2];
    guint64 next_menu_id;
    guint64 last_menu_id[2];
    guint get_calls;
    FakeRequest last_request;
    guint activations;
    FakeActivation last_activation;
    GPtrArray* unanswered;
};

static const char kIntrospection[] =
    "<node><interface name='" TF_MENU_INTERFACE
    "'>"
    "<method name='GetMenu'><arg type='i' direction='in'/><arg type='as' direction='in'/>"
    "<arg type='s' direction='in'/><arg type='t' direction='out'/>"
    "<arg type='s' direction='out'/></method>"
    "<method name='Activate'><arg type='t' direction='in'/><arg type='x' direction='in'/>"
    "<arg type='b' direction='out'/></method>"
    "<signal name='MenuChanged'/>"
    "</interface></node>";

static void handle_get_menu(FakeService* fake, GVariant* parameters,
                            GDBusMethodInvocation* invocation) {
    gint32 kind = 0;
    g_autofree const char** selection = NULL;
    const char* target = NULL;
    g_variant_get(parameters, "(i^a&s&s)", &kind, &selection, &target);

    g_mutex_lock(&fake->lock);
    ++fake->get_calls;
    fake_request_clear(&fake->last_request);
    fake->last_request.kind = kind;
    fake->last_request.selection = g_strdupv((char**)selection);
    fake->last_request.target = g_strdup(target);
    if (fake->silent) {
        g_ptr_array_add(fake->unanswered, g_object_ref(invocation));
        g_mutex_unlock(&fake->lock);
        return;
    }
    if (selection[0] != NULL && g_str_has_suffix(selection[0], "/" FAKE_FAILING_NAME)) {
        g_mutex_unlock(&fake->lock);
        g_dbus_method_invocation_return_dbus_error(invocation, "org.trackfolio.Error.Failed",
                                                   "refused");
        return;
    }
    const guint64 menu_id = ++fake->next_menu_id;
    const char* json = "[]";
    if (kind == 0 || kind == 1) {
        fake->last_menu_id[kind] = menu_id;
        json = fake->menus[kind];
    }
    GVariant* reply = g_variant_new("(ts)", menu_id, json);
    g_mutex_unlock(&fake->lock);
    g_dbus_method_invocation_return_value(invocation, reply);
}

static void handle_method(GDBusConnection* connection, const char* sender, const char* path,
                          const char* interface, const char* method, GVariant* parameters,
                          GDBusMethodInvocation* invocation, gpointer user_data) {
    (void)connection;
    (void)sender;
    (void)path;
    (void)interface;
    FakeService* fake = user_data;
    if (g_strcmp0(method, "GetMenu") == 0) {
        handle_get_menu(fake, parameters, invocation);
        return;
    }
    guint64 menu_id = 0;
    gint64 tag = 0;
    g_variant_get(parameters, "(tx)", &menu_id, &tag);
    g_mutex_lock(&fake->lock);
    ++fake->activations;
    fake->last_activation.menu_id = menu_id;
    fake->last_activation.tag = tag;
    g_mutex_unlock(&fake->lock);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", TRUE));
}

static const GDBusInterfaceVTable kVTable = {handle_method, NULL, NULL, {NULL}};

static gboolean take_name(GDBusConnection* connection) {
    g_autoptr(GError) error = NULL;
    g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
        connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", TF_MENU_BUS_NAME, 4u /* do not queue */),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, NULL, &error);
    guint32 result = 0;
    if (reply != NULL) {
        g_variant_get(reply, "(u)", &result);
    } else {
        g_printerr("RequestName failed: %s\n", error->message);
    }
    return result == 1;
}

static gboolean connect_and_register(FakeService* fake) {
    g_autoptr(GError) error = NULL;
    g_autofree char* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, NULL, &error);
    if (address == NULL) {
        g_printerr("no session bus: %s\n", error->message);
        return FALSE;
    }
    fake->connection =
        g_dbus_connection_new_for_address_sync(address,
                                               G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                   G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION,
                                               NULL, NULL, &error);
    if (fake->connection == NULL) {
        g_printerr("cannot connect: %s\n", error->message);
        return FALSE;
    }
    g_autoptr(GDBusNodeInfo) node = g_dbus_node_info_new_for_xml(kIntrospection, NULL);
    if (g_dbus_connection_register_object(fake->connection, TF_MENU_OBJECT_PATH,
                                          node->interfaces[0], &kVTable, fake, NULL, &error) == 0) {
        g_printerr("cannot register: %s\n", error->message);
        return FALSE;
    }
    return take_name(fake->connection);
}

static gpointer serve(gpointer data) {
    FakeService* fake = data;
    g_main_context_push_thread_default(fake->context);
    const gboolean owned = connect_and_register(fake);
    g_mutex_lock(&fake->lock);
    fake->owned = owned;
    fake->started = TRUE;
    g_cond_signal(&fake->cond);
    g_mutex_unlock(&fake->lock);
    if (owned) {
        g_main_loop_run(fake->loop);
    }
    g_main_context_pop_thread_default(fake->context);
    return NULL;
}

static void fake_free(FakeService* fake) {
    if (fake->connection != NULL) {
        g_dbus_connection_close_sync(fake->connection, NULL, NULL);
        g_object_unref(fake->connection);
    }
    g_ptr_array_unref(fake->unanswered);
    g_main_loop_unref(fake->loop);
    g_main_context_unref(fake->context);
    g_free(fake->menus[0]);
    g_free(fake->menus[1]);
    fake_request_clear(&fake->last_request);
    g_mutex_clear(&fake->lock);
    g_cond_clear(&fake->cond);
    g_free(fake);
}

FakeService* fake_service_start(gboolean silent, const char* item_menu,
                                const char* background_menu) {
    FakeService* fake = g_new0(FakeService, 1);
    g_mutex_init(&fake->lock);
    g_cond_init(&fake->cond);
    fake->silent = silent;
    fake->menus[0] = g_strdup(item_menu);
    fake->menus[1] = g_strdup(background_menu);
    fake->unanswered = g_ptr_array_new_with_free_func(g_object_unref);
    fake->context = g_main_context_new();
    fake->loop = g_main_loop_new(fake->context, FALSE);
    fake->thread = g_thread_new("fake-service", serve, fake);
    g_mutex_lock(&fake->lock);
    while (!fake->started) {
        g_cond_wait(&fake->cond, &fake->lock);
    }
    const gboolean owned = fake->owned;
    g_mutex_unlock(&fake->lock);
    if (!owned) {
        g_thread_join(fake->thread);
        fake_free(fake);
        return NULL;
    }
    return fake;
}

void fake_service_stop(FakeService* fake) {
    g_main_loop_quit(fake->loop);
    g_thread_join(fake->thread);
    fake_free(fake);
}

void fake_service_set_menu(FakeService* fake, int kind, const char* json) {
    g_mutex_lock(&fake->lock);
    g_free(fake->menus[kind]);
    fake->menus[kind] = g_strdup(json);
    g_mutex_unlock(&fake->lock);
}

void fake_service_emit_menu_changed(FakeService* fake) {
    g_dbus_connection_emit_signal(fake->connection, NULL, TF_MENU_OBJECT_PATH, TF_MENU_INTERFACE,
                                  "MenuChanged", NULL, NULL);
}

guint fake_service_get_calls(FakeService* fake) {
    g_mutex_lock(&fake->lock);
    const guint calls = fake->get_calls;
    g_mutex_unlock(&fake->lock);
    return calls;
}

guint64 fake_service_last_menu_id(FakeService* fake, int kind) {
    g_mutex_lock(&fake->lock);
    const guint64 id = fake->last_menu_id[kind];
    g_mutex_unlock(&fake->lock);
    return id;
}

FakeRequest fake_service_last_request(FakeService* fake) {
    g_mutex_lock(&fake->lock);
    FakeRequest copy = {fake->last_request.kind, g_strdupv(fake->last_request.selection),
                        g_strdup(fake->last_request.target)};
    g_mutex_unlock(&fake->lock);
    return copy;
}

void fake_request_clear(FakeRequest* request) {
    g_clear_pointer(&request->selection, g_strfreev);
    g_clear_pointer(&request->target, g_free);
}

guint fake_service_activations(FakeService* fake) {
    g_mutex_lock(&fake->lock);
    const guint count = fake->activations;
    g_mutex_unlock(&fake->lock);
    return count;
}

FakeActivation fake_service_last_activation(FakeService* fake) {
    g_mutex_lock(&fake->lock);
    const FakeActivation last = fake->last_activation;
    g_mutex_unlock(&fake->lock);
    return last;
}
