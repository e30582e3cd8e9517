/* The parts of the protocol client that need no bus: URI screening, menu parsing, names. */
#include <string.h>

#include "tf_menu_client.h"

static int failures;

static void check(gboolean ok, const char* what, int line) {
    if (!ok) {
        g_printerr("menu_client_test.c:%d: check failed: %s\n", line, what);
        ++failures;
    }
}

#define CHECK(cond) check((cond), #cond, __LINE__)

static TfMenuEntry* at(GPtrArray* entries, guint i) {
    return g_ptr_array_index(entries, i);
}

static void test_only_file_uris_are_local(void) {
    CHECK(tf_uri_is_local("file:///home/a.txt"));
    CHECK(tf_uri_is_local("FILE:///home/a.txt"));
    CHECK(tf_uri_is_local("file:///home/with%20space"));
    CHECK(!tf_uri_is_local(NULL));
    CHECK(!tf_uri_is_local(""));
    CHECK(!tf_uri_is_local("/home/a.txt"));
    CHECK(!tf_uri_is_local("trash:///a.txt"));
    CHECK(!tf_uri_is_local("smb://server/share"));
    CHECK(!tf_uri_is_local("recent:///"));
    CHECK(!tf_uri_is_local("files:///x"));
}

static void test_parse_reads_entries_and_tolerates_odd_fields(void) {
    const char* json =
        "[{\"key\":\"k\",\"title\":\"T\",\"icon\":\"/abs/icon.png\",\"tag\":9007199254740993,"
        "\"separator\":false},"
        "{\"title\":42,\"tag\":\"7\",\"separator\":\"yes\",\"icon\":null},"
        "{\"separator\":true,\"tag\":0,\"children\":[{\"title\":\"hidden\"}]},"
        "{\"title\":\"Fold\",\"tag\":0,\"action\":\"settings\"},"
        "3, null, \"text\"]";
    g_autoptr(GError) error = NULL;
    g_autoptr(GPtrArray) entries = tf_menu_parse_entries(json, &error);
    CHECK(entries != NULL);
    if (entries == NULL) {
        return;
    }
    CHECK(entries->len == 4);
    CHECK(strcmp(at(entries, 0)->key, "k") == 0 && strcmp(at(entries, 0)->title, "T") == 0);
    CHECK(strcmp(at(entries, 0)->icon, "/abs/icon.png") == 0);
    CHECK(at(entries, 0)->tag == G_GINT64_CONSTANT(9007199254740993));
    /* Wrong types read as absent, never as garbage. */
    CHECK(strcmp(at(entries, 1)->title, "") == 0 && strcmp(at(entries, 1)->icon, "") == 0);
    CHECK(at(entries, 1)->tag == 0 && !at(entries, 1)->separator);
    CHECK(at(entries, 2)->separator && at(entries, 2)->children == NULL);
    CHECK(at(entries, 3)->settings && !at(entries, 0)->settings);
}

static void test_parse_nests_children_up_to_a_limit(void) {
    GString* json = g_string_new(NULL);
    const int depth = 20;
    for (int i = 0; i < depth; ++i) {
        g_string_append_printf(json, "[{\"title\":\"level %d\",\"tag\":%d,\"children\":", i, i);
    }
    g_string_append(json, "[]");
    for (int i = 0; i < depth; ++i) {
        g_string_append(json, "}]");
    }
    g_autoptr(GPtrArray) entries = tf_menu_parse_entries(json->str, NULL);
    g_string_free(json, TRUE);
    CHECK(entries != NULL && entries->len == 1);
    int levels = 0;
    for (GPtrArray* list = entries; list != NULL && list->len > 0; list = at(list, 0)->children) {
        ++levels;
    }
    CHECK(levels > 1 && levels < depth);
}

static void test_parse_rejects_what_is_not_a_list(void) {
    const char* const inputs[] = {"", "{}", "\"[]\"", "[", "null"};
    for (gsize i = 0; i < G_N_ELEMENTS(inputs); ++i) {
        g_autoptr(GError) error = NULL;
        GPtrArray* entries = tf_menu_parse_entries(inputs[i], &error);
        CHECK(entries == NULL && error != NULL);
    }
}

static void test_names_differ_by_kind_menu_tag_and_position(void) {
    g_autofree char* base = tf_menu_item_name(0, 7, 101, 3);
    g_autofree char* kind = tf_menu_item_name(1, 7, 101, 3);
    g_autofree char* menu = tf_menu_item_name(0, 8, 101, 3);
    g_autofree char* tag = tf_menu_item_name(0, 7, 102, 3);
    g_autofree char* index = tf_menu_item_name(0, 7, 101, 4);
    const char* const others[] = {kind, menu, tag, index};
    for (gsize i = 0; i < G_N_ELEMENTS(others); ++i) {
        CHECK(strcmp(base, others[i]) != 0);
    }
    /* Large ids must not collide through truncation. */
    g_autofree char* big = tf_menu_item_name(0, G_MAXUINT64, G_MININT64, 0);
    CHECK(strstr(big, "18446744073709551615") != NULL && strstr(big, "-9223372036854775808"));
}

static void test_labels_keep_underscores_visible(void) {
    g_autofree char* plain = tf_menu_escape_label("Copy Path");
    g_autofree char* one = tf_menu_escape_label("my_file");
    g_autofree char* two = tf_menu_escape_label("__init__");
    g_autofree char* empty = tf_menu_escape_label("");
    CHECK(strcmp(plain, "Copy Path") == 0);
    CHECK(strcmp(one, "my__file") == 0);
    CHECK(strcmp(two, "____init____") == 0);
    CHECK(strcmp(empty, "") == 0);
}

static void test_non_local_requests_never_reach_the_bus(void) {
    TfMenuClient* client = tf_menu_client_new(2000, 3000, 5000);
    const char* const selection[] = {"file:///tmp/a", "sftp://host/b", NULL};
    CHECK(tf_menu_client_get_menu(client, TF_MENU_KIND_ITEMS, selection, "file:///tmp") == NULL);
    CHECK(tf_menu_client_get_menu(client, TF_MENU_KIND_CONTAINER, NULL, "trash:///") == NULL);
    CHECK(tf_menu_client_get_menu(client, TF_MENU_KIND_CONTAINER, NULL, NULL) == NULL);
    CHECK(tf_menu_client_call_count(client) == 0);
    tf_menu_client_free(client);
}

int main(void) {
    test_only_file_uris_are_local();
    test_parse_reads_entries_and_tolerates_odd_fields();
    test_parse_nests_children_up_to_a_limit();
    test_parse_rejects_what_is_not_a_list();
    test_names_differ_by_kind_menu_tag_and_position();
    test_labels_keep_underscores_visible();
    test_non_local_requests_never_reach_the_bus();
    g_print("%d check(s) failed\n", failures);
    return failures == 0 ? 0 : 1;
}
