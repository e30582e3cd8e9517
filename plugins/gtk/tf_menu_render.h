/* Turns a menu of the service into a file manager's menu items. Nautilus and Nemo have the
 * same item model (named items with a label, tip and icon, an "activate" signal, submenus), so
 * one walk serves both through a small table of constructors. */
#pragma once

#include <glib-object.h>

#include "tf_menu_client.h"

G_BEGIN_DECLS

typedef struct {
    GObject* (*new_item)(const char* name, const char* label, const char* tip, const char* icon);
    /* NULL when the file manager has no separator item: separators are then left out. */
    GObject* (*new_separator)(const char* name);
    GObject* (*new_menu)(void);
    void (*append)(GObject* menu, GObject* item); /* takes its own reference */
    void (*set_submenu)(GObject* item, GObject* menu);
} TfMenuToolkit;

/* The top-level items (a list the caller owns, with one reference each). A click on an item
 * reports (menu id, tag) through client. Submenus without entries are left out. */
GList* tf_menu_render(const TfMenu* menu, const TfMenuToolkit* toolkit, TfMenuClient* client);

/* The menus for a selection (kind items, target = the folder of the first file) and for a
 * folder background; NULL when there is nothing to show. */
TfMenu* tf_menu_for_selection(TfMenuClient* client, const char* const* uris,
                              const char* parent_uri);
TfMenu* tf_menu_for_folder(TfMenuClient* client, const char* folder_uri);

G_END_DECLS
