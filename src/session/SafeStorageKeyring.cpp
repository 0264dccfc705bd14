// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/SafeStorageKeyring.h"

#include "session/ChromiumCookies.h"
#include "session/SessionCopies.h"

#include <QFileInfo>
#include <QMutex>
#include <map>
#include <openssl/crypto.h>

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace {

void wipe(QByteArray &bytes)
{
    OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

QString keyringError(GError *error, bool timedOut)
{
    if (g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_SERVICE_UNKNOWN) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NAME_HAS_NO_OWNER))
        return QStringLiteral("no desktop keyring is running (nothing on the session bus offers the Secret Service)");
    if (timedOut || g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_NO_REPLY) ||
        g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_TIMEOUT))
        return QStringLiteral("the desktop keyring did not answer");
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        return QStringLiteral("the reading was stopped");
    // libsecret hands some of the bus's refusals on with the remote error name already taken off.
    if (!g_dbus_error_is_remote_error(error) && error->domain != G_DBUS_ERROR)
        return QStringLiteral("no desktop keyring could be reached (%1)").arg(QString::fromUtf8(error->message));
    g_dbus_error_strip_remote_error(error);
    return QStringLiteral("the desktop keyring refused the request (%1)").arg(QString::fromUtf8(error->message));
}

// One question to the keyring, asked with GLib's asynchronous calls on a main context of this
// thread's own: the synchronous calls would wait 25 seconds on a keyring that takes the call and
// never answers (one waiting on its own prompt, say). It has a cancellable of its own, fired by its
// own wait, counted from now, or by the stop's cancel; so a slow copy of a large store before it, or
// another browser's question that timed out, takes none of its time.
class KeyringCall
{
public:
    explicit KeyringCall(const SessionStop &stop)
        : m_stop(stop), m_context(g_main_context_new()), m_cancellable(g_cancellable_new()),
          m_timeout(g_timeout_source_new(guint(std::max(0, stop.keyringWaitMs()))))
    {
        g_main_context_push_thread_default(m_context);
        m_linked = g_cancellable_connect(stop.cancellable(), G_CALLBACK(+[](GCancellable *, gpointer ours) {
                                             g_cancellable_cancel(static_cast<GCancellable *>(ours));
                                         }),
                                         m_cancellable, nullptr);
        g_source_set_callback(
            m_timeout,
            [](gpointer self) {
                auto *call = static_cast<KeyringCall *>(self);
                call->m_timedOut = true;
                g_cancellable_cancel(call->m_cancellable);
                return gboolean(G_SOURCE_REMOVE);
            },
            this, nullptr);
        g_source_attach(m_timeout, m_context);
    }
    ~KeyringCall()
    {
        g_cancellable_disconnect(m_stop.cancellable(), m_linked);
        g_source_destroy(m_timeout);
        g_source_unref(m_timeout);
        g_object_unref(m_cancellable);
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }
    KeyringCall(const KeyringCall &) = delete;
    KeyringCall &operator=(const KeyringCall &) = delete;

    // The keyring gave no answer within this question's wait.
    bool timedOut() const { return m_timedOut; }

    // Starts a call with (cancellable, callback, data) and runs the context until it has ended;
    // finish then takes its result.
    template <typename Start, typename Finish> auto wait(Start start, Finish finish)
    {
        GAsyncResult *result = nullptr;
        start(m_cancellable, &KeyringCall::ready, &result);
        while (!result)
            g_main_context_iteration(m_context, TRUE);
        auto value = finish(result);
        g_object_unref(result);
        return value;
    }

private:
    static void ready(GObject *, GAsyncResult *result, gpointer out)
    {
        *static_cast<GAsyncResult **>(out) = G_ASYNC_RESULT(g_object_ref(result));
    }

    const SessionStop &m_stop;
    GMainContext *m_context;
    GCancellable *m_cancellable;
    GSource *m_timeout;
    gulong m_linked = 0;
    bool m_timedOut = false;
};

// Searches without unlocking: an unlock would put up the keyring's password prompt and wait on it.
Result<QByteArray> searchKeyring(const QString &keyringApplication, KeyringCall &call)
{
    GError *error = nullptr;
    GDBusConnection *bus = call.wait(
        [](GCancellable *c, GAsyncReadyCallback cb, gpointer data) { g_bus_get(G_BUS_TYPE_SESSION, c, cb, data); },
        [&error](GAsyncResult *r) { return g_bus_get_finish(r, &error); });
    // The program must not end when the session bus goes away, as GLib's shared connection would make it.
    if (bus)
        g_dbus_connection_set_exit_on_close(bus, FALSE);
    SecretService *service =
        !bus ? nullptr
             : call.wait(
                   [](GCancellable *c, GAsyncReadyCallback cb, gpointer data) {
                       secret_service_open(SECRET_TYPE_SERVICE, nullptr, SECRET_SERVICE_NONE, c, cb, data);
                   },
                   [&error](GAsyncResult *r) { return secret_service_open_finish(r, &error); });

    // Chromium's current entry carries the browser's name; before version 55 one entry served all.
    const QByteArray application = keyringApplication.toUtf8();
    SecretSchema *schemas[] = {
        secret_schema_new("chrome_libsecret_os_crypt_password_v2", SECRET_SCHEMA_DONT_MATCH_NAME, "application",
                          SECRET_SCHEMA_ATTRIBUTE_STRING, nullptr),
        secret_schema_new("chrome_libsecret_os_crypt_password", SECRET_SCHEMA_NONE, nullptr),
    };
    std::optional<QByteArray> secret;
    bool locked = false;
    for (SecretSchema *schema : schemas) {
        if (!service || error || secret)
            break;
        GHashTable *attributes = g_hash_table_new(g_str_hash, g_str_equal);
        if (schema == schemas[0])
            g_hash_table_insert(attributes, const_cast<char *>("application"),
                                const_cast<char *>(application.constData()));
        GList *items = call.wait(
            [&](GCancellable *c, GAsyncReadyCallback cb, gpointer data) {
                secret_service_search(service, schema, attributes,
                                      SecretSearchFlags(SECRET_SEARCH_ALL | SECRET_SEARCH_LOAD_SECRETS), c, cb, data);
            },
            [&](GAsyncResult *r) { return secret_service_search_finish(service, r, &error); });
        for (GList *item = items; item && !secret; item = item->next) {
            auto *secretItem = static_cast<SecretItem *>(item->data);
            if (SecretValue *value = secret_item_get_secret(secretItem)) {
                gsize size = 0;
                const gchar *data = secret_value_get(value, &size);
                secret = QByteArray(data, qsizetype(size));
                secret_value_unref(value);
            } else if (secret_item_get_locked(secretItem)) {
                locked = true;
            }
        }
        g_list_free_full(items, g_object_unref);
        g_hash_table_unref(attributes);
    }
    for (SecretSchema *schema : schemas)
        secret_schema_unref(schema);
    if (service)
        g_object_unref(service);
    if (bus)
        g_object_unref(bus);

    if (secret)
        return *secret;
    if (error) {
        const QString why = keyringError(error, call.timedOut());
        g_error_free(error);
        return Failure{why};
    }
    if (locked)
        return Failure{QStringLiteral("the desktop keyring is locked (unlock it, for example by opening the browser, "
                                      "and start Bidwarden again)")};
    return Failure{QStringLiteral("the desktop keyring holds no Safe Storage key for \"%1\"").arg(keyringApplication)};
}

// What the keyring said for each browser's entry: a key, or plainly none, is asked for once in a run.
QMutex keyringMutex;
std::map<QString, Result<QByteArray>> &keyringAnswers()
{
    static std::map<QString, Result<QByteArray>> answers;
    return answers;
}

// A failure, with the note that KDE Wallet is not looked in where that is the desktop's keyring.
Failure keyringFailure(const QString &why)
{
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE")))
        return Failure{why + QStringLiteral("; a key kept in KDE Wallet is not read")};
    return Failure{why};
}

} // namespace

Result<QByteArray> SafeStorageKey(const QString &keyringApplication, const SessionStop &stop)
{
    const QMutexLocker locker(&keyringMutex);
    if (const auto known = keyringAnswers().find(keyringApplication); known != keyringAnswers().end())
        return known->second;
    // Without a session bus GLib would try to start one through X11; there is no keyring to ask then.
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtimeDir.isEmpty() || !QFileInfo::exists(runtimeDir + QStringLiteral("/bus")))) {
        const Failure none = keyringFailure(QStringLiteral("no desktop keyring is running (there is no session bus)"));
        keyringAnswers().insert_or_assign(keyringApplication, none);
        return none;
    }
    KeyringCall call(stop);
    Result<QByteArray> secret = searchKeyring(keyringApplication, call);
    const Result<QByteArray> answer =
        secret ? Result<QByteArray>(ChromiumKey(*secret)) : keyringFailure(secret.error());
    if (secret)
        wipe(*secret);
    // A keyring that was slow this time may answer the next; a read stopped from outside got no answer.
    if (!call.timedOut() && !stop.isCancelled())
        keyringAnswers().insert_or_assign(keyringApplication, answer);
    return answer;
}

void ForgetSafeStorageKeys()
{
    const QMutexLocker locker(&keyringMutex);
    for (auto &[application, answer] : keyringAnswers())
        if (answer)
            wipe(*answer);
    keyringAnswers().clear();
}
