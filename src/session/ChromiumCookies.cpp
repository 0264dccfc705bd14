// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/ChromiumCookies.h"

#include "session/BrowserCookies.h"
#include "session/BrowserSession.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QMap>
#include <QMutex>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstring>
#include <map>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sqlite3.h>

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace {

constexpr qint64 secondsFrom1601To1970 = 11'644'473'600LL;

void wipe(QByteArray &bytes)
{
    OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

// Chromium's Linux scheme: AES-128-CBC with PKCS#7 padding and an IV of 16 spaces, under a key
// made by PBKDF2-HMAC-SHA1 from a password, the salt "saltysalt" and a single iteration.
QByteArray deriveKey(const QByteArray &password)
{
    static const QByteArray salt("saltysalt");
    QByteArray key(16, '\0');
    PKCS5_PBKDF2_HMAC_SHA1(password.constData(), int(password.size()),
                           reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()), 1,
                           int(key.size()), reinterpret_cast<unsigned char *>(key.data()));
    return key;
}

// The plaintext, or nothing when the key is wrong or the data damaged (the padding or the host's
// hash does not check out). hostHash: what newer databases put in front of the value. The working
// buffer is wiped, so only the value handed back holds the plaintext.
std::optional<QByteArray> decryptValue(const QByteArray &key, const QByteArray &cipherText, const QByteArray &hostHash)
{
    static const QByteArray iv(16, ' ');
    const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                              EVP_CIPHER_CTX_free);
    QByteArray plain(cipherText.size() + 16, '\0');
    auto *out = reinterpret_cast<unsigned char *>(plain.data());
    int length = 0;
    int tail = 0;
    std::optional<QByteArray> value;
    if (ctx &&
        EVP_DecryptInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr,
                           reinterpret_cast<const unsigned char *>(key.constData()),
                           reinterpret_cast<const unsigned char *>(iv.constData())) == 1 &&
        EVP_DecryptUpdate(ctx.get(), out, &length, reinterpret_cast<const unsigned char *>(cipherText.constData()),
                          int(cipherText.size())) == 1 &&
        EVP_DecryptFinal_ex(ctx.get(), out + length, &tail) == 1) {
        const qsizetype size = length + tail;
        if (size >= hostHash.size() && std::memcmp(plain.constData(), hostHash.constData(), hostHash.size()) == 0)
            value = QByteArray(plain.constData() + hostHash.size(), size - hostHash.size());
    }
    wipe(plain);
    return value;
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
// never answers (one waiting on its own prompt, say). The stop's deadline and its cancel end the
// wait at any step.
class KeyringCall
{
public:
    explicit KeyringCall(const SessionStop &stop)
        : m_stop(stop), m_context(g_main_context_new()), m_cancellable(stop.cancellable()),
          m_timeout(g_timeout_source_new(guint(std::max<qint64>(0, stop.remainingMs()))))
    {
        g_main_context_push_thread_default(m_context);
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
        g_source_destroy(m_timeout);
        g_source_unref(m_timeout);
        g_main_context_pop_thread_default(m_context);
        g_main_context_unref(m_context);
    }
    KeyringCall(const KeyringCall &) = delete;
    KeyringCall &operator=(const KeyringCall &) = delete;

    GCancellable *cancellable() const { return m_cancellable; }
    // The keyring gave no answer in time: this wait, or an earlier one, reached the deadline.
    bool timedOut() const { return m_timedOut || (g_cancellable_is_cancelled(m_cancellable) && !m_stop.isCancelled()); }

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
    bool m_timedOut = false;
};

// Searches without unlocking: an unlock would put up the keyring's password prompt and wait on it.
std::optional<QByteArray> searchKeyring(const QString &keyringApplication, KeyringCall &call, QString *problem)
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
        return secret;
    if (error) {
        *problem = keyringError(error, call.timedOut());
        g_error_free(error);
    } else if (locked) {
        *problem = QStringLiteral("the desktop keyring is locked (unlock it, for example by opening the browser, "
                                  "and start Bidwarden again)");
    } else {
        *problem = QStringLiteral("the desktop keyring holds no Safe Storage key for \"%1\"").arg(keyringApplication);
    }
    return std::nullopt;
}

// What the keyring said for each browser's entry, kept for the whole run: the keyring is asked
// once, so a slow or hung one costs its wait once, not at every request to the site.
struct KeyringAnswer
{
    std::optional<QByteArray> key; // the derived key, not the secret
    QString problem;
};

QMutex keyringMutex;
std::map<QString, KeyringAnswer> &keyringAnswers()
{
    static std::map<QString, KeyringAnswer> answers;
    return answers;
}

} // namespace

QList<ChromiumBrowser> ChromiumBrowsers()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString home = QDir::homePath();
    const QString flatpak = home + QStringLiteral("/.var/app/");
    // Edge and Vivaldi file their secret under the name of the Chromium or Chrome build they start from.
    return {
        {QStringLiteral("Google Chrome"),
         QStringLiteral("chrome"),
         {config + QStringLiteral("/google-chrome"),
          flatpak + QStringLiteral("com.google.Chrome/config/google-chrome")}},
        {QStringLiteral("Google Chrome Beta"),
         QStringLiteral("chrome"),
         {config + QStringLiteral("/google-chrome-beta")}},
        {QStringLiteral("Chromium"),
         QStringLiteral("chromium"),
         {config + QStringLiteral("/chromium"), home + QStringLiteral("/snap/chromium/common/chromium"),
          flatpak + QStringLiteral("org.chromium.Chromium/config/chromium")}},
        {QStringLiteral("Brave"),
         QStringLiteral("brave"),
         {config + QStringLiteral("/BraveSoftware/Brave-Browser"),
          flatpak + QStringLiteral("com.brave.Browser/config/BraveSoftware/Brave-Browser")}},
        {QStringLiteral("Microsoft Edge"),
         QStringLiteral("chromium"),
         {config + QStringLiteral("/microsoft-edge"),
          flatpak + QStringLiteral("com.microsoft.Edge/config/microsoft-edge")}},
        {QStringLiteral("Vivaldi"),
         QStringLiteral("chrome"),
         {config + QStringLiteral("/vivaldi"), flatpak + QStringLiteral("com.vivaldi.Vivaldi/config/vivaldi")}},
    };
}

QString ChromiumCookieDatabase(const QString &profileDir)
{
    const QFileInfo network(profileDir + QStringLiteral("/Network/Cookies"));
    const QFileInfo plain(profileDir + QStringLiteral("/Cookies"));
    // A profile moved between versions can hold both; the browser writes only the one it uses.
    if (network.isFile() && (!plain.isFile() || network.lastModified() >= plain.lastModified()))
        return network.filePath();
    return plain.isFile() ? plain.filePath() : QString();
}

QString ChromiumProfileInUse(const QString &rootDir)
{
    QFile localState(rootDir + QStringLiteral("/Local State"));
    QString lastUsed;
    if (localState.open(QIODevice::ReadOnly))
        lastUsed = QJsonDocument::fromJson(localState.readAll())[QLatin1String("profile")][QLatin1String("last_used")]
                       .toString();
    for (const QString &name : {lastUsed, QStringLiteral("Default")}) {
        const QString dir = QDir::cleanPath(rootDir + QLatin1Char('/') + name);
        if (!name.isEmpty() && !ChromiumCookieDatabase(dir).isEmpty())
            return dir;
    }
    return {};
}

std::optional<QByteArray> SafeStorageKey(const QString &keyringApplication, const SessionStop &stop, QString *problem)
{
    const QMutexLocker locker(&keyringMutex);
    if (const auto known = keyringAnswers().find(keyringApplication); known != keyringAnswers().end()) {
        *problem = known->second.problem;
        return known->second.key;
    }
    KeyringAnswer answer;
    // Without a session bus GLib would try to start one through X11; there is no keyring to ask then.
    const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    bool stopped = false;
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        (runtimeDir.isEmpty() || !QFileInfo::exists(runtimeDir + QStringLiteral("/bus")))) {
        answer.problem = QStringLiteral("no desktop keyring is running (there is no session bus)");
    } else {
        KeyringCall call(stop);
        std::optional<QByteArray> secret = searchKeyring(keyringApplication, call, &answer.problem);
        stopped = stop.isCancelled() && !call.timedOut();
        if (secret) {
            answer.key = deriveKey(*secret);
            wipe(*secret);
        }
    }
    if (!answer.key && qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE")))
        answer.problem += QStringLiteral("; a key kept in KDE Wallet is not read");
    // A read stopped from outside got no answer either way; the next one asks.
    if (!stopped)
        keyringAnswers()[keyringApplication] = answer;
    *problem = answer.problem;
    return answer.key;
}

void ForgetSafeStorageKeys()
{
    const QMutexLocker locker(&keyringMutex);
    for (auto &[application, answer] : keyringAnswers())
        if (answer.key)
            wipe(*answer.key);
    keyringAnswers().clear();
}

BrowserCookies BrowserCookies::fromChromiumRoot(const QString &rootDir, const QString &browserName,
                                                const QString &keyringApplication, const SessionQuery &query,
                                                const std::optional<QByteArray> &safeStorageSecret)
{
    BrowserCookies result;
    const QString profile = ChromiumProfileInUse(rootDir);
    if (profile.isEmpty())
        return result;
    const QString path = ChromiumCookieDatabase(profile);
    auto fail = [&](const QString &why) {
        result.m_problems << QStringLiteral("Could not read the %1 cookies in %2: %3").arg(browserName, path, why);
        return result;
    };

    QTemporaryDir copyDir(SessionCopyTemplate(query.copiesIn));
    QString why;
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(openCopy(path, copyDir, &why), sqlite3_close);
    if (!db)
        return fail(why);

    // From version 24 on, a value starts with the SHA-256 of its cookie's host, so that a value
    // copied to another host's row does not decrypt.
    int version = 0;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.get(), "SELECT value FROM meta WHERE key = 'version'", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);

    // Partitioned cookies go only to the site embedded in another; older schemas have none.
    stmt = prepareForHosts(db.get(),
                           {"SELECT host_key, name, value, encrypted_value, path, expires_utc, is_secure, "
                            "last_access_utc FROM cookies WHERE top_frame_site_key = '' AND lower(host_key) IN ",
                            "SELECT host_key, name, value, encrypted_value, path, expires_utc, is_secure, "
                            "last_access_utc FROM cookies WHERE lower(host_key) IN "},
                           query);
    if (!stmt)
        return fail(QString::fromUtf8(sqlite3_errmsg(db.get())));

    auto bytes = [&stmt](int column) {
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, column)),
                          sqlite3_column_bytes(stmt, column));
    };
    const QByteArray v10Key = deriveKey("peanuts");
    std::optional<QByteArray> v11Key;
    QString keyringProblem;
    bool keyringAsked = false;
    QMap<QString, QByteArrayList> leftOut; // reason -> names of the cookies it kept out
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        BrowserCookie cookie;
        cookie.host = QString::fromUtf8(bytes(0));
        cookie.name = bytes(1);
        cookie.path = bytes(4).isEmpty() ? QByteArray("/") : bytes(4);
        const qint64 expires = sqlite3_column_int64(stmt, 5);
        cookie.expiresAt = expires == 0 ? 0 : expires / 1'000'000 - secondsFrom1601To1970;
        cookie.secure = sqlite3_column_int(stmt, 6) != 0;
        cookie.lastAccessed = sqlite3_column_int64(stmt, 7) - secondsFrom1601To1970 * 1'000'000;

        const QByteArray encrypted = bytes(3);
        cookie.value = bytes(2);
        if (cookie.value.isEmpty() && !encrypted.isEmpty()) {
            const QByteArray prefix = encrypted.left(3);
            const QByteArray *key = nullptr;
            QString reason;
            if (prefix == "v10") {
                key = &v10Key;
            } else if (prefix == "v11") {
                if (!keyringAsked) {
                    keyringAsked = true;
                    if (safeStorageSecret) {
                        v11Key = deriveKey(*safeStorageSecret);
                    } else {
                        const SessionStop ownStop;
                        v11Key =
                            SafeStorageKey(keyringApplication, query.stop ? *query.stop : ownStop, &keyringProblem);
                    }
                }
                key = v11Key ? &*v11Key : nullptr;
                reason = keyringProblem;
            } else {
                reason = QStringLiteral("they use an encryption this program does not know (\"%1\")")
                             .arg(QString::fromLatin1(prefix.toPercentEncoding()));
            }
            const QByteArray hostHash =
                version >= 24 ? QCryptographicHash::hash(bytes(0), QCryptographicHash::Sha256) : QByteArray();
            std::optional<QByteArray> value;
            if (key && !(value = decryptValue(*key, encrypted.mid(3), hostHash)))
                reason = QStringLiteral("they do not decrypt with the browser's key");
            cookie.readable = value.has_value();
            if (value)
                cookie.value = std::move(*value);
            else
                leftOut[reason] << cookie.name;
        }
        if (!result.addCookie(cookie, path))
            wipe(cookie.value);
    }
    if (rc != SQLITE_DONE)
        result.m_problems << QStringLiteral("Could not read the %1 cookies in %2: %3")
                                 .arg(browserName, path, QString::fromUtf8(sqlite3_errmsg(db.get())));
    sqlite3_finalize(stmt);
    // A key derived here goes with the read; the keyring's stays for the run.
    if (v11Key && safeStorageSecret)
        wipe(*v11Key);
    for (auto it = leftOut.cbegin(); it != leftOut.cend(); ++it)
        result.m_problems << QStringLiteral("%1: could not use the cookies %2 in %3: %4.")
                                 .arg(browserName, QString::fromUtf8(it.value().join(", ")), path, it.key());
    result.m_sources << path;
    return result;
}
