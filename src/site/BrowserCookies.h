// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct sqlite3;
class QTemporaryDir;

// The signed-in browser's cookies, read once and then matched against each request's address.
// Our requests carry no credentials of their own; these cookies are how the site knows the seller.
struct BrowserCookie
{
    QByteArray name;
    QByteArray value;
    QString host;        // a leading dot marks a domain cookie that also matches sub-hosts
    QByteArray path;     // "/" when the store gave none
    qint64 expiresAt{0}; // seconds since the epoch (UTC); 0 = session cookie, never expires here
    bool secure{false};
    qint64 lastAccessed{0}; // microseconds since the epoch (UTC): which profile used the site last
    // False when the value would not decrypt: never sent, but it still shows that the profile holds
    // a session for the host, so an older session elsewhere is not taken in its place.
    bool readable{true};
};

class BrowserCookies
{
public:
    BrowserCookies() = default;

    // What the program sends: a cookies.txt beside the program when there is one; otherwise the
    // profile in use of each Firefox and Chromium-family browser under the user's home, and for
    // each request the one profile that used the request's host most recently. Chromium-family
    // values are decrypted only for siteUrl's host.
    static BrowserCookies fromSystem(const QString &appFolder, const QString &siteUrl);
    // The Firefox folder that holds profiles.ini; reads the cookies of the profile in use.
    static BrowserCookies fromFirefoxRoot(const QString &rootDir);
    // One cookies.sqlite (read from a private copy together with its -wal file).
    static BrowserCookies fromCookiesSqlite(const QString &path);
    // A Netscape-format cookies.txt, as browser export extensions write it. A missing file is no error.
    static BrowserCookies fromCookiesTxt(const QString &path);
    // A Chromium-family browser's folder (the one holding "Local State"); reads the profile in use.
    // Values are decrypted for siteHost's cookies only, or for all when it is empty. v11 values
    // need the browser's "Safe Storage" secret: the given one, else the desktop keyring's entry
    // for keyringApplication. browserName goes into problems().
    static BrowserCookies fromChromiumRoot(const QString &rootDir, const QString &browserName,
                                           const QString &keyringApplication, const QString &siteHost = {},
                                           const std::optional<QByteArray> &safeStorageSecret = {});

    // Pins the clock used for expiry (tests); an invalid time means the real clock.
    void setNow(const QDateTime &now) { m_now = now; }

    // "a=1; b=2" for the cookies that go with a request to url, all from one profile: unexpired,
    // host and path matching, secure ones only over https. Longer paths first, as browsers send them.
    QByteArray cookieHeaderFor(const QString &url) const;

    // Stores that were there but could not be read, and cookies left out because their value could
    // not be decrypted: one plain line each, naming the browser or file and the reason.
    const QStringList &problems() const { return m_problems; }
    // The cookie stores that were read, for diagnostics.
    const QStringList &sources() const { return m_sources; }

private:
    // One profile's cookies; a request never mixes two of them.
    using Jar = QList<BrowserCookie>;

    void addJars(const BrowserCookies &other);
    void addCookie(const BrowserCookie &cookie);
    const Jar *jarFor(const QString &host, qint64 now) const;
    static bool hostMatches(const QString &cookieHost, const QString &requestHost);

    // Opens a private copy, made in dir, of a browser's cookie database and its -wal or -journal:
    // the browser may hold the original locked, and its newest writes may live only in those files.
    static sqlite3 *openCopy(const QString &path, const QTemporaryDir &dir, QString *error);

    QList<Jar> m_jars;
    QStringList m_problems;
    QStringList m_sources;
    QDateTime m_now;
};

// Which profile folder of a Firefox root is in use: the [Install...] default (profiles.ini, then
// installs.ini), then the profile marked Default=1, then the first profile that has cookies.
// Only folders holding a cookies.sqlite count. Empty when there is none.
QString FirefoxProfileInUse(const QString &rootDir);
