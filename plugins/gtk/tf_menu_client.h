/* Client side of the menu protocol (docs/menu-protocol.md), shared by the Nautilus and Nemo
 * plugins. Plain C on GIO and json-glib: the plugins hold no menu logic of their own. */
#pragma once

#include <gio/gio.h>

G_BEGIN_DECLS

#define TF_MENU_BUS_NAME "org.trackfolio.Trackfolio.extension"
#define TF_MENU_OBJECT_PATH "/org/trackfolio/Trackfolio/extension"
#define TF_MENU_INTERFACE "org.trackfolio.Trackfolio.Extension"

typedef enum {
    TF_MENU_KIND_ITEMS = 0,
    TF_MENU_KIND_CONTAINER = 1,
} TfMenuKind;

typedef struct _TfMenuEntry TfMenuEntry;
struct _TfMenuEntry {
    char* key;
    char* title;
    char* icon;
    gint64 tag;
    gboolean separator;
    gboolean settings;   /* the fold entry: opens the settings window */
    GPtrArray* children; /* of TfMenuEntry*; NULL unless the entry heads a submenu */
};

typedef struct {
    guint64 menu_id;
    int kind;
    GPtrArray* entries; /* of TfMenuEntry*, never empty */
    gint ref_count;
} TfMenu;

typedef struct _TfMenuClient TfMenuClient;

typedef void (*TfMenuChangedFunc)(gpointer user_data);

/* TRUE only for a file:// URI (the protocol answers nothing else). */
gboolean tf_uri_is_local(const char* uri);

/* Parses the menu JSON of a GetMenu reply; NULL (with error set) when it is not a list. Entries
 * that are not objects are skipped. */
GPtrArray* tf_menu_parse_entries(const char* json, GError** error);
TfMenu* tf_menu_ref(TfMenu* menu);
void tf_menu_unref(TfMenu* menu);
G_DEFINE_AUTOPTR_CLEANUP_FUNC(TfMenu, tf_menu_unref)

/* Unique across both menus of one file manager window: kind, menu id, tag and the position in
 * the whole tree (separators share tag 0). */
char* tf_menu_item_name(int kind, guint64 menu_id, gint64 tag, guint index);

/* Doubles underscores so that the file manager's mnemonic parsing shows the title as is. */
char* tf_menu_escape_label(const char* title);

/* The process-wide client the plugins use (session bus, ~2 s timeout). */
TfMenuClient* tf_menu_client_get_default(void);

/* A client with its own timeout, back-off and reuse intervals, for tests. */
TfMenuClient* tf_menu_client_new(int timeout_ms, int backoff_ms, int reuse_ms);
void tf_menu_client_free(TfMenuClient* client);

/* Asks the service for one menu. NULL means "no entries": a non-local URI anywhere (no bus
 * call), an empty menu, a service that errs or does not answer in time. After a transport
 * failure (no owner and activation failed, timeout, no bus) further requests return NULL at
 * once until the back-off interval passed or the name gets an owner, so a dead service
 * never slows each right-click.
 *
 * Nautilus asks again for the same menu when the selection is set again or the folder changes,
 * often while the earlier menu is still on screen, and keeps showing the earlier items; the
 * service only takes clicks on its latest menu of a kind. So the same request (kind, selection,
 * target) within the reuse interval gets the same menu back without a call, until a click or a
 * MenuChanged signal. */
TfMenu* tf_menu_client_get_menu(TfMenuClient* client, TfMenuKind kind, const char* const* selection,
                                const char* target);

/* Asks the bus to start the service without waiting, so that it is up by the first
 * right-click rather than started (and possibly timed out) by it. */
void tf_menu_client_start_service(TfMenuClient* client);

/* Reports a click; does not wait for the reply. */
void tf_menu_client_activate(TfMenuClient* client, guint64 menu_id, gint64 tag);

/* Calls func (in the caller's thread-default main context) when the service says the shared
 * settings changed. Returns 0 when there is no session bus. */
guint tf_menu_client_watch_changes(TfMenuClient* client, TfMenuChangedFunc func, gpointer user_data,
                                   GDestroyNotify destroy);
void tf_menu_client_unwatch_changes(TfMenuClient* client, guint watch_id);

/* Number of GetMenu calls put on the bus so far (diagnostics and tests). */
guint tf_menu_client_call_count(TfMenuClient* client);

G_END_DECLS
