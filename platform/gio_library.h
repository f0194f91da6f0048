#pragma once

// The functions of GIO, GObject and GLib that mounting and the Secret Service use, from GIO
// loaded on first use (GIO brings GObject and GLib with it).

#include <gio/gio.h>

#include <memory>
#include <string>

namespace platform {

#define DS_GIO_FUNCTIONS(X)                   \
    X(g_free)                                 \
    X(g_strdup)                               \
    X(g_strv_length)                          \
    X(g_utf8_validate)                        \
    X(g_str_hash)                             \
    X(g_str_equal)                            \
    X(g_quark_to_string)                      \
    X(g_error_free)                           \
    X(g_error_matches)                        \
    X(g_list_free_full)                       \
    X(g_hash_table_new_full)                  \
    X(g_hash_table_insert)                    \
    X(g_hash_table_lookup)                    \
    X(g_hash_table_unref)                     \
    X(g_main_context_new)                     \
    X(g_main_context_push_thread_default)     \
    X(g_main_context_pop_thread_default)      \
    X(g_main_context_iteration)               \
    X(g_main_context_unref)                   \
    X(g_timeout_source_new)                   \
    X(g_source_set_callback)                  \
    X(g_source_attach)                        \
    X(g_source_destroy)                       \
    X(g_source_unref)                         \
    X(g_variant_new)                          \
    X(g_variant_get)                          \
    X(g_variant_unref)                        \
    X(g_object_unref)                         \
    X(g_signal_connect_data)                  \
    X(g_signal_handlers_disconnect_matched)   \
    X(g_io_error_quark)                       \
    X(g_cancellable_new)                      \
    X(g_cancellable_cancel)                   \
    X(g_vfs_get_default)                      \
    X(g_vfs_is_active)                        \
    X(g_vfs_get_supported_uri_schemes)        \
    X(g_file_new_for_uri)                     \
    X(g_file_get_path)                        \
    X(g_file_find_enclosing_mount)            \
    X(g_file_mount_enclosing_volume)          \
    X(g_file_mount_enclosing_volume_finish)   \
    X(g_mount_unmount_with_operation)         \
    X(g_mount_unmount_with_operation_finish)  \
    X(g_mount_operation_new)                  \
    X(g_mount_operation_set_anonymous)        \
    X(g_mount_operation_set_username)         \
    X(g_mount_operation_set_domain)           \
    X(g_mount_operation_set_password)         \
    X(g_mount_operation_set_password_save)    \
    X(g_mount_operation_reply)                \
    X(g_dbus_connection_new_for_address_sync) \
    X(g_dbus_connection_call_sync)            \
    X(g_dbus_connection_close_sync)

struct GioLibrary {
#define DS_DECLARE_FUNCTION(name) decltype(&::name) name = nullptr;
    DS_GIO_FUNCTIONS(DS_DECLARE_FUNCTION)
#undef DS_DECLARE_FUNCTION
};

// The functions, loading GIO on the first call; null when it cannot be loaded (traced once).
// Any thread.
const GioLibrary* gioLibrary();

// Owners of what GIO hands out, for code that already has the functions.
struct GObjectUnref {
    void operator()(gpointer object) const { gioLibrary()->g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
struct GErrorFree {
    void operator()(GError* error) const { gioLibrary()->g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

// "domain code" of an error, as traces give it.
inline std::string errorCodeText(const GError& error) {
    return std::string(gioLibrary()->g_quark_to_string(error.domain)) + " " +
           std::to_string(error.code);
}

}  // namespace platform
