#include "platform/secret_service.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/gio_library.h"
#include "platform/secret_library.h"
#include "platform/secret_schema.h"
#include "platform/trace.h"
#include "platform/utf.h"

namespace platform {
namespace {

constexpr gint kBusTimeoutMs = 2000;

// GIO and libsecret, loaded on first use; false (traced) when either cannot be loaded.
bool librariesLoaded() {
    return gioLibrary() && secretLibrary();
}
// Only called once librariesLoaded() said yes.
const GioLibrary& gio() {
    return *gioLibrary();
}
const SecretLibrary& secret() {
    return *secretLibrary();
}

}  // namespace

const SecretSchema* credentialSecretSchema() {
    static const SecretSchema credentialSchema = {"org.drivescout.Credential",
                                                  SECRET_SCHEMA_NONE,
                                                  {
                                                      {"type", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                                                      {"target", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                                      {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                                      {"flags", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                                                      {"persist", SECRET_SCHEMA_ATTRIBUTE_INTEGER},
                                                  },
                                                  0,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr,
                                                  nullptr};
    return &credentialSchema;
}

namespace {

struct HashTableUnref {
    void operator()(GHashTable* table) const { gio().g_hash_table_unref(table); }
};

// Error texts from the bus carry no secret, but only the domain and code go to the trace anyway.
void traceFailure(const char* what, GError* error) {
    traceNarrow(std::string("credential store: ") + what + " failed" +
                (error ? " (" + errorCodeText(*error) + ")" : std::string()));
}

std::unique_ptr<GHashTable, HashTableUnref> searchAttributes(uint32_t type,
                                                             std::u16string_view target) {
    std::unique_ptr<GHashTable, HashTableUnref> attributes(gio().g_hash_table_new_full(
        gio().g_str_hash, gio().g_str_equal, gio().g_free, gio().g_free));
    gio().g_hash_table_insert(attributes.get(), gio().g_strdup("type"),
                              gio().g_strdup(std::to_string(type).c_str()));
    gio().g_hash_table_insert(attributes.get(), gio().g_strdup("target"),
                              gio().g_strdup(utf16ToUtf8(target).c_str()));
    return attributes;
}

}  // namespace

bool secretServiceAvailable() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!address || !address[0] || !librariesLoaded())
        return false;
    static std::mutex mutex;
    static std::map<std::string, bool> answers;
    std::lock_guard lock(mutex);
    if (auto it = answers.find(address); it != answers.end())
        return it->second;
    bool owned = false;
    GError* rawError = nullptr;
    GObjectPtr<GDBusConnection> bus(gio().g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &rawError));
    GErrorPtr error(rawError);
    if (bus) {
        rawError = nullptr;
        GVariant* reply = gio().g_dbus_connection_call_sync(
            bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", gio().g_variant_new("(s)", "org.freedesktop.secrets"),
            reinterpret_cast<const GVariantType*>("(b)"), G_DBUS_CALL_FLAGS_NO_AUTO_START,
            kBusTimeoutMs, nullptr, &rawError);
        error.reset(rawError);
        if (reply) {
            gboolean hasOwner = FALSE;
            gio().g_variant_get(reply, "(b)", &hasOwner);
            owned = hasOwner;
            gio().g_variant_unref(reply);
        }
        gio().g_dbus_connection_close_sync(bus.get(), nullptr, nullptr);
    }
    answers[address] = owned;
    return owned;
}

std::optional<std::u16string> passwordOfSecretText(const char* text) {
    const GioLibrary* glib = gioLibrary();
    if (!text || !glib || !glib->g_utf8_validate(text, -1, nullptr))
        return std::nullopt;
    return utf8ToUtf16(text);
}

WinError secretServiceStore(const Credential& credential, std::u16string_view password) {
    if (!librariesLoaded())
        return kErrorNoSuchLogonSession;
    std::unique_ptr<GHashTable, HashTableUnref> attributes =
        searchAttributes(credential.type, credential.targetName);
    gio().g_hash_table_insert(attributes.get(), gio().g_strdup("user"),
                              gio().g_strdup(utf16ToUtf8(credential.userName).c_str()));
    gio().g_hash_table_insert(attributes.get(), gio().g_strdup("flags"),
                              gio().g_strdup(std::to_string(credential.flags).c_str()));
    gio().g_hash_table_insert(attributes.get(), gio().g_strdup("persist"),
                              gio().g_strdup(std::to_string(credential.persist).c_str()));
    // A replaced credential must not linger under its old user name.
    secretServiceDelete(credential.type, credential.targetName);
    const std::string label = "Drive Scout: " + utf16ToUtf8(credential.targetName);
    std::string text = utf16ToUtf8(password);
    GError* rawError = nullptr;
    const gboolean stored = secret().secret_password_storev_sync(
        credentialSecretSchema(), attributes.get(), SECRET_COLLECTION_DEFAULT, label.c_str(),
        text.c_str(), nullptr, &rawError);
    std::fill(text.begin(), text.end(), '\0');
    GErrorPtr error(rawError);
    if (!stored) {
        traceFailure("store", error.get());
        return kErrorNoSuchLogonSession;
    }
    return kNoError;
}

WinError secretServiceLookup(uint32_t type, std::u16string_view target, Credential& credential) {
    if (!librariesLoaded())
        return kErrorFileNotFound;
    std::unique_ptr<GHashTable, HashTableUnref> attributes = searchAttributes(type, target);
    GError* rawError = nullptr;
    GList* found = secret().secret_password_searchv_sync(
        credentialSecretSchema(), attributes.get(),
        static_cast<SecretSearchFlags>(SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS), nullptr,
        &rawError);
    GErrorPtr error(rawError);
    if (!found) {
        if (error)
            traceFailure("lookup", error.get());
        return kErrorFileNotFound;
    }
    auto* item = static_cast<SecretRetrievable*>(found->data);
    WinError result = kErrorFileNotFound;
    rawError = nullptr;
    SecretValue* value = secret().secret_retrievable_retrieve_secret_sync(item, nullptr, &rawError);
    error.reset(rawError);
    // A secret that is not text (stored by another program under our schema) holds no password
    // we could hand on: no credential.
    const std::optional<std::u16string> password =
        value ? passwordOfSecretText(secret().secret_value_get_text(value)) : std::nullopt;
    if (value && !password) {
        traceNarrow("credential store: the stored secret is not text");
    } else if (value) {
        Credential read;
        read.type = type;
        read.targetName = std::u16string(target);
        read.blob = passwordBlob(*password);
        GHashTable* itemAttributes = secret().secret_retrievable_get_attributes(item);
        auto text = [itemAttributes](const char* name) {
            const auto* found =
                static_cast<const char*>(gio().g_hash_table_lookup(itemAttributes, name));
            return std::string(found ? found : "");
        };
        read.userName = utf8ToUtf16(text("user"));
        read.flags = static_cast<uint32_t>(std::strtoul(text("flags").c_str(), nullptr, 10));
        read.persist = static_cast<uint32_t>(std::strtoul(text("persist").c_str(), nullptr, 10));
        gio().g_hash_table_unref(itemAttributes);
        credential = std::move(read);
        result = kNoError;
    } else {
        traceFailure("lookup", error.get());
    }
    if (value)
        secret().secret_value_unref(value);
    gio().g_list_free_full(found, gio().g_object_unref);
    return result;
}

WinError secretServiceDelete(uint32_t type, std::u16string_view target) {
    if (!librariesLoaded())
        return kErrorFileNotFound;
    std::unique_ptr<GHashTable, HashTableUnref> attributes = searchAttributes(type, target);
    GError* rawError = nullptr;
    const gboolean removed = secret().secret_password_clearv_sync(
        credentialSecretSchema(), attributes.get(), nullptr, &rawError);
    GErrorPtr error(rawError);
    return removed ? kNoError : kErrorFileNotFound;
}

}  // namespace platform
