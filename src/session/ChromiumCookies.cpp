// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/ChromiumCookies.h"

#include "session/CookieDatabase.h"
#include "session/SafeStorageKeyring.h"
#include "session/SessionCopies.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QMap>
#include <cstring>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sqlite3.h>

namespace {

constexpr qint64 secondsFrom1601To1970 = 11'644'473'600LL;

void wipe(QByteArray &bytes)
{
    OPENSSL_cleanse(bytes.data(), size_t(bytes.size()));
    bytes.clear();
}

// The keys a profile's values need: v10's is fixed; v11's comes from the Safe Storage secret, and the
// keyring is asked for it only when a v11 value turns up, once in the read.
class ChromiumKeys
{
public:
    ChromiumKeys(const QString &keyringApplication, const SessionQuery &query,
                 const std::optional<QByteArray> &safeStorageSecret)
        : m_keyringApplication(keyringApplication), m_query(query), m_secret(safeStorageSecret),
          m_v10(ChromiumKey("peanuts"))
    {}
    // A key made here goes with the read; the keyring's stays for the run.
    ~ChromiumKeys()
    {
        if (m_secret && m_v11 && *m_v11)
            wipe(**m_v11);
    }
    ChromiumKeys(const ChromiumKeys &) = delete;
    ChromiumKeys &operator=(const ChromiumKeys &) = delete;

    // The key for a value with this prefix, or why there is none.
    Result<const QByteArray *> keyFor(const QByteArray &prefix)
    {
        if (prefix == "v10")
            return &m_v10;
        if (prefix != "v11")
            return Failure{QStringLiteral("they use an encryption this program does not know (\"%1\")")
                               .arg(QString::fromLatin1(prefix.toPercentEncoding()))};
        if (!m_v11) {
            const SessionStop ownStop;
            m_v11 = m_secret ? Result<QByteArray>(ChromiumKey(*m_secret))
                             : SafeStorageKey(m_keyringApplication, m_query.stop ? *m_query.stop : ownStop);
        }
        if (!*m_v11)
            return Failure{m_v11->error()};
        return &**m_v11;
    }

private:
    const QString m_keyringApplication;
    const SessionQuery &m_query;
    const std::optional<QByteArray> &m_secret;
    const QByteArray m_v10;
    std::optional<Result<QByteArray>> m_v11;
};

// From version 24 on, a value starts with the SHA-256 of its cookie's host, so that a value copied
// to another host's row does not decrypt.
int schemaVersion(sqlite3 *db)
{
    int version = 0;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT value FROM meta WHERE key = 'version'", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return version;
}

// The rows of the query's hosts, decrypted; a value that will not decrypt leaves its cookie
// unreadable, and the reason among the problems, once for all the cookies it kept out.
CookieJar readRows(sqlite3 *db, const SessionQuery &query, ChromiumKeys &keys, const QString &browserName,
                   const QString &path)
{
    CookieJar jar;
    auto problem = [&](const QString &why) {
        jar.addProblem(QStringLiteral("Could not read the %1 cookies in %2: %3").arg(browserName, path, why));
    };
    const bool hashedHosts = schemaVersion(db) >= 24;
    // Partitioned cookies go only to the site embedded in another; older schemas have none.
    const CookieStatement stmt =
        PrepareForHosts(db,
                        {"SELECT host_key, name, value, encrypted_value, path, expires_utc, is_secure, "
                         "last_access_utc FROM cookies WHERE top_frame_site_key = '' AND lower(host_key) IN ",
                         "SELECT host_key, name, value, encrypted_value, path, expires_utc, is_secure, "
                         "last_access_utc FROM cookies WHERE lower(host_key) IN "},
                        query);
    if (!stmt) {
        problem(QString::fromUtf8(sqlite3_errmsg(db)));
        return jar;
    }
    QMap<QString, QByteArrayList> leftOut; // reason -> names of the cookies it kept out
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        BrowserCookie cookie;
        const QByteArray host = ColumnBytes(stmt.get(), 0);
        cookie.host = QString::fromUtf8(host);
        cookie.name = ColumnBytes(stmt.get(), 1);
        const QByteArray cookiePath = ColumnBytes(stmt.get(), 4);
        cookie.path = cookiePath.isEmpty() ? QByteArray("/") : cookiePath;
        const qint64 expires = sqlite3_column_int64(stmt.get(), 5);
        cookie.expiresAt = expires == 0 ? 0 : expires / 1'000'000 - secondsFrom1601To1970;
        cookie.secure = sqlite3_column_int(stmt.get(), 6) != 0;
        cookie.lastAccessed = sqlite3_column_int64(stmt.get(), 7) - secondsFrom1601To1970 * 1'000'000;

        const QByteArray encrypted = ColumnBytes(stmt.get(), 3);
        cookie.value = ColumnBytes(stmt.get(), 2);
        if (cookie.value.isEmpty() && !encrypted.isEmpty()) {
            const Result<const QByteArray *> key = keys.keyFor(encrypted.left(3));
            const QByteArray hostHash =
                hashedHosts ? QCryptographicHash::hash(host, QCryptographicHash::Sha256) : QByteArray();
            std::optional<QByteArray> value =
                key ? DecryptChromiumValue(**key, encrypted.mid(3), hostHash) : std::nullopt;
            cookie.readable = value.has_value();
            if (value)
                cookie.value = std::move(*value);
            else
                leftOut[key ? QStringLiteral("they do not decrypt with the browser's key") : key.error()]
                    << cookie.name;
        }
        if (!jar.add(cookie, path))
            wipe(cookie.value);
    }
    if (rc != SQLITE_DONE)
        problem(QString::fromUtf8(sqlite3_errmsg(db)));
    for (auto it = leftOut.cbegin(); it != leftOut.cend(); ++it)
        jar.addProblem(QStringLiteral("%1: could not use the cookies %2 in %3: %4.")
                           .arg(browserName, QString::fromUtf8(it.value().join(", ")), path, it.key()));
    jar.addSource(path);
    return jar;
}

} // namespace

QByteArray ChromiumKey(const QByteArray &password)
{
    // PBKDF2-HMAC-SHA1 with the salt "saltysalt" and a single iteration, for AES-128.
    static const QByteArray salt("saltysalt");
    QByteArray key(16, '\0');
    PKCS5_PBKDF2_HMAC_SHA1(password.constData(), int(password.size()),
                           reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()), 1,
                           int(key.size()), reinterpret_cast<unsigned char *>(key.data()));
    return key;
}

std::optional<QByteArray> DecryptChromiumValue(const QByteArray &key, const QByteArray &cipherText,
                                               const QByteArray &hostHash)
{
    // AES-128-CBC with PKCS#7 padding and an IV of 16 spaces.
    static const QByteArray iv(16, ' ');
    if (key.size() != 16)
        return std::nullopt;
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

CookieJar ReadChromiumRoot(const QString &rootDir, const QString &browserName, const QString &keyringApplication,
                           const SessionQuery &query, const std::optional<QByteArray> &safeStorageSecret)
{
    const QString profile = ChromiumProfileInUse(rootDir);
    if (profile.isEmpty())
        return {};
    const QString path = ChromiumCookieDatabase(profile);
    const Result<CookieDatabaseCopy> copy = OpenCookieDatabaseCopy(path, query.copiesIn);
    if (!copy) {
        CookieJar jar;
        jar.addProblem(QStringLiteral("Could not read the %1 cookies in %2: %3").arg(browserName, path, copy.error()));
        return jar;
    }
    ChromiumKeys keys(keyringApplication, query, safeStorageSecret);
    return readRows(copy->db.get(), query, keys, browserName, path);
}
