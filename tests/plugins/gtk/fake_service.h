/* A scripted menu service owning the real bus name, served from its own thread so the plugin's
 * blocking calls get answered (or, when silent, never answered). */
#pragma once

#include <gio/gio.h>

G_BEGIN_DECLS

/* A selection whose first file has this name gets an error reply. */
#define FAKE_FAILING_NAME "refused-by-service"

typedef struct _FakeService FakeService;

typedef struct {
    int kind;
    char** selection;
    char* target;
} FakeRequest;

typedef struct {
    guint64 menu_id;
    gint64 tag;
} FakeActivation;

/* NULL when the name could not be taken. */
FakeService* fake_service_start(gboolean silent, const char* item_menu,
                                const char* background_menu);
void fake_service_stop(FakeService* fake);

void fake_service_set_menu(FakeService* fake, int kind, const char* json);
void fake_service_emit_menu_changed(FakeService* fake);

guint fake_service_get_calls(FakeService* fake);
guint64 fake_service_last_menu_id(FakeService* fake, int kind);
FakeRequest fake_service_last_request(FakeService* fake); /* a copy: fake_request_clear */
void fake_request_clear(FakeRequest* request);
guint fake_service_activations(FakeService* fake);
FakeActivation fake_service_last_activation(FakeService* fake);

G_END_DECLS
