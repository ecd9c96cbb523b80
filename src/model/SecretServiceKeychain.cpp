#include "model/SecretServiceKeychain.h"

#include "lib/ApplicationIdentifier.h"

#include <fmt/format.h>
#include <gio/gio.h>
#include <libsecret/secret.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

namespace miravel {

namespace {

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using ObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct SecretValueUnref {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using ValuePtr = std::unique_ptr<SecretValue, SecretValueUnref>;

const SecretSchema* schema() {
    // Filled in field by field: SecretSchema carries reserved members that an aggregate
    // initialiser would have to spell out.
    static const SecretSchema instance = [] {
        SecretSchema value{};
        value.name = kApplicationIdentifier;
        value.flags = SECRET_SCHEMA_NONE;
        value.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        value.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return value;
    }();
    return &instance;
}

// Attribute values cross D-Bus as strings, which must be UTF-8 without NUL bytes (GLib aborts
// the call with a critical warning otherwise). Refusing here gives the caller an error instead.
Result<void> checkAttributes(const std::string& service, const std::string& username) {
    for (const std::string* text : {&service, &username}) {
        if (!g_utf8_validate(text->data(), static_cast<gssize>(text->size()), nullptr)) {
            return makeError(kKeychainErrorDomain, EINVAL,
                             "The Secret Service cannot store this service or account name.",
                             "Service and account names must be UTF-8 text without NUL bytes.");
        }
    }
    return {};
}

std::unexpected<Error> serviceError(std::string description, const GError* error) {
    return makeError(kKeychainErrorDomain, error != nullptr ? error->code : 0,
                     std::move(description),
                     error != nullptr ? error->message : "The Secret Service gave no reason.");
}

// Cancels a GCancellable when the deadline passes, unless stopped first. The blocking GDBus
// calls honour the cancellable, which bounds steps that take no timeout of their own (the
// connection handshake with a socket nobody serves).
class Deadline {
public:
    Deadline(GCancellable* cancellable, std::chrono::milliseconds timeout)
        : m_thread([this, cancellable, timeout] {
              std::unique_lock lock(m_mutex);
              if (!m_stopped.wait_for(lock, timeout, [this] { return m_done; })) {
                  g_cancellable_cancel(cancellable);
              }
          }) {}

    ~Deadline() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_stopped.notify_one();
        m_thread.join();
    }

    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_done = false;
    std::thread m_thread;  // last: starts once the members it uses exist
};

}  // namespace

bool SecretServiceKeychain::isAvailable(std::chrono::milliseconds timeout) {
    // Without the variable GLib would try to autolaunch a bus (dbus-launch, X11 lookups), which
    // can spawn processes or stall; a headless run simply has no Secret Service.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr || *address == '\0') {
        return false;
    }

    ObjectPtr<GCancellable> cancellable(g_cancellable_new());
    Deadline deadline(cancellable.get(), timeout);
    const auto start = std::chrono::steady_clock::now();

    // A private connection, so that a failed or cancelled probe leaves no half-initialised
    // shared session bus behind for libsecret to pick up.
    GError* rawError = nullptr;
    ObjectPtr<GDBusConnection> connection(g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable.get(), &rawError));
    ErrorPtr error(rawError);
    if (!connection) {
        return false;
    }

    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    const auto remaining = std::max<std::chrono::milliseconds::rep>(1, (timeout - elapsed).count());
    // Every D-Bus peer implements Ping, so this asks exactly "is someone serving the Secret
    // Service name"; the bus may activate an installed but idle service to answer it.
    rawError = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        connection.get(), "org.freedesktop.secrets", "/org/freedesktop/secrets",
        "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE,
        static_cast<gint>(remaining), cancellable.get(), &rawError);
    error.reset(rawError);
    const bool answered = reply != nullptr;
    if (answered) {
        g_variant_unref(reply);
    }
    g_dbus_connection_close_sync(connection.get(), nullptr, nullptr);
    return answered;
}

Result<std::optional<KeychainItem>> SecretServiceKeychain::findItem(
    const std::string& service, const std::string& username) const {
    if (auto checked = checkAttributes(service, username); !checked) {
        return std::unexpected(checked.error());
    }
    GError* rawError = nullptr;
    ValuePtr value(secret_password_lookup_binary_sync(schema(), nullptr, &rawError, "service",
                                                      service.c_str(), "account", username.c_str(),
                                                      nullptr));
    ErrorPtr error(rawError);
    if (error) {
        return serviceError(fmt::format("Could not read the password for “{}” on “{}” from the "
                                        "Secret Service.",
                                        username, service),
                            error.get());
    }
    if (!value) {
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return KeychainItem(service, username, std::string(bytes, length));
}

Result<void> SecretServiceKeychain::storeItem(const std::string& service,
                                              const std::string& username,
                                              const std::string& password) {
    if (auto checked = checkAttributes(service, username); !checked) {
        return checked;
    }
    // Text passwords are marked as text so that keyring browsers can show them; anything else
    // is kept as opaque bytes.
    const bool isText =
        g_utf8_validate(password.data(), static_cast<gssize>(password.size()), nullptr);
    ValuePtr value(secret_value_new(password.data(), static_cast<gssize>(password.size()),
                                    isText ? "text/plain" : "application/octet-stream"));
    const std::string label =
        username.empty() ? service : fmt::format("{} ({})", service, username);

    GError* rawError = nullptr;
    // Storing with the same attributes replaces the existing item's secret.
    secret_password_store_binary_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                      value.get(), nullptr, &rawError, "service", service.c_str(),
                                      "account", username.c_str(), nullptr);
    ErrorPtr error(rawError);
    if (error) {
        return serviceError(fmt::format("Could not save the password for “{}” on “{}” in the "
                                        "Secret Service.",
                                        username, service),
                            error.get());
    }
    return {};
}

Result<void> SecretServiceKeychain::removeItem(const std::string& service,
                                               const std::string& username) {
    if (auto checked = checkAttributes(service, username); !checked) {
        return checked;
    }
    GError* rawError = nullptr;
    // FALSE without an error means there was nothing to remove, which is success.
    secret_password_clear_sync(schema(), nullptr, &rawError, "service", service.c_str(), "account",
                               username.c_str(), nullptr);
    ErrorPtr error(rawError);
    if (error) {
        return serviceError(fmt::format("Could not remove the password for “{}” on “{}” from "
                                        "the Secret Service.",
                                        username, service),
                            error.get());
    }
    return {};
}

}  // namespace miravel
