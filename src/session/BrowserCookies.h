// SPDX-FileCopyrightText: The Bidwarden authors
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
class SessionStop;

// What a reader needs besides the store itself: the site's host (only the rows that can go to it
// are read), the folder that gets the private folder for copies of the stores, and what stops a
// wait on the keyring (nothing: the reader's own default deadline).
struct SessionQuery
{
    QString host;
    QString copiesIn;
    const SessionStop *stop = nullptr;

    // For a site address, with copies in the user's runtime folder (else the application folder).
    static SessionQuery forSite(const QString &siteUrl, const QString &appFolder, const SessionStop *stop = nullptr);
    // The host and every parent domain whose cookies could go to it, as the stores write them
    // ("www.example.test", ".www.example.test", ".example.test", ".test"), in lower case.
    QList<QByteArray> cookieHosts() const;
};

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

    // Every reader reads only the cookies that could go to the query's host; the other sites'
    // cookies never leave the store.
    // The Firefox folder that holds profiles.ini; reads the cookies of the profile in use.
    static BrowserCookies fromFirefoxRoot(const QString &rootDir, const SessionQuery &query);
    // One cookies.sqlite (read from a private copy together with its -wal file).
    static BrowserCookies fromCookiesSqlite(const QString &path, const SessionQuery &query);
    // A Netscape-format cookies.txt, as browser export extensions write it. A missing file is no
    // error; one that other users could have written, or that is not the user's own, is not read.
    static BrowserCookies fromCookiesTxt(const QString &path, const SessionQuery &query);
    // A Chromium-family browser's folder (the one holding "Local State"); reads the profile in use.
    // v11 values need the browser's "Safe Storage" secret: the given one, else the desktop
    // keyring's entry for keyringApplication. browserName goes into problems().
    static BrowserCookies fromChromiumRoot(const QString &rootDir, const QString &browserName,
                                           const QString &keyringApplication, const SessionQuery &query,
                                           const std::optional<QByteArray> &safeStorageSecret = {});

    // Adds another reader's cookies as profiles of their own, with its problems and sources.
    void addJars(const BrowserCookies &other);
    void addProblem(const QString &problem) { m_problems << problem; }

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

    // False, with a problem noted, for a cookie whose value cannot go into a header.
    bool addCookie(const BrowserCookie &cookie, const QString &source);
    const Jar *jarFor(const QString &host, qint64 now) const;
    static bool hostMatches(const QString &cookieHost, const QString &requestHost);

    // Opens a private copy, made in dir, of a browser's cookie database and its -wal or -journal:
    // the browser may hold the original locked, and its newest writes may live only in those files.
    static sqlite3 *openCopy(const QString &path, const QTemporaryDir &dir, QString *error);
    // The first of the statements that the store's schema takes, for the query's hosts: each ends
    // in "<host column> IN ", and the list of hosts is bound after it.
    static struct sqlite3_stmt *prepareForHosts(sqlite3 *db, const QList<QByteArray> &selects,
                                                const SessionQuery &query);

    QList<Jar> m_jars;
    QStringList m_problems;
    QStringList m_sources;
    QDateTime m_now;
};

// Which profile folder of a Firefox root is in use: the [Install...] default (profiles.ini, then
// installs.ini), then the profile marked Default=1, then the first profile that has cookies.
// Only folders holding a cookies.sqlite count. Empty when there is none.
QString FirefoxProfileInUse(const QString &rootDir);
