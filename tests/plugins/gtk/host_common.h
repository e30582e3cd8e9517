/* A stand-in for a GTK file manager: loads a built plugin module the way Nautilus and Nemo do,
 * asks it for menus with fake file objects, and checks what comes back. The cases are shared;
 * each file manager supplies a small adapter (its file-info class and provider calls). */
#pragma once

#include <gio/gio.h>

G_BEGIN_DECLS

typedef struct {
    const char* name;          /* "nautilus", "nemo" */
    const char* symbol_prefix; /* <prefix>_module_initialize ... */
    GType (*provider_interface)(void);
    GList* (*file_items)(GObject* provider, GList* files);
    GList* (*background_items)(GObject* provider, GObject* folder);
    GList* (*menu_items)(GObject* menu); /* items of a submenu, owned by the caller */
    void (*free_items)(GList* items);
    GObject* (*new_file)(const char* uri, gboolean is_directory);
    gboolean has_separators;
    gboolean needs_tips;
} HostFileManager;

/* argv: MODE MODULE_PATH [SETUP_PROGRAM]
 *   fake          a scripted service inside this process (rendering, requests, clicks)
 *   unresponsive  a service that owns the name and never answers
 *   service       the real trackfolio-sync, started by D-Bus activation
 * Returns the process exit status. */
int host_main(const HostFileManager* fm, int argc, char** argv);

G_END_DECLS
