#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

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
};

class BrowserCookies
{
public:
    BrowserCookies() = default;

    // The usual Firefox profile folders under the user's home (current, older, snap and flatpak
    // releases) plus a cookies.txt export in the application folder.
    static BrowserCookies fromSystem(const QString &appFolder);
    // The Firefox folder that holds profiles.ini; reads the cookies of the profile in use.
    static BrowserCookies fromFirefoxRoot(const QString &rootDir);
    // One cookies.sqlite (read from a private copy together with its -wal file).
    static BrowserCookies fromCookiesSqlite(const QString &path);
    // A Netscape-format cookies.txt, as browser export extensions write it. A missing file is no error.
    static BrowserCookies fromCookiesTxt(const QString &path);

    // Adds the other store's cookies; on the same name, host and path the one already held wins.
    void add(const BrowserCookies &other);

    // Pins the clock used for expiry (tests); an invalid time means the real clock.
    void setNow(const QDateTime &now) { m_now = now; }

    // "a=1; b=2" for the cookies that go with a request to url: unexpired, host and path matching,
    // secure ones only over https. Longer paths first, as browsers send them.
    QByteArray cookieHeaderFor(const QString &url) const;

    const QList<BrowserCookie> &cookies() const { return m_cookies; }
    // Stores that were there but could not be read (each with the file and the reason).
    const QStringList &problems() const { return m_problems; }
    // The cookie stores that were read, for diagnostics.
    const QStringList &sources() const { return m_sources; }

private:
    void addCookie(const BrowserCookie &cookie);

    QList<BrowserCookie> m_cookies;
    QStringList m_problems;
    QStringList m_sources;
    QDateTime m_now;
};

// Which profile folder of a Firefox root is in use: the [Install...] default (profiles.ini, then
// installs.ini), then the profile marked Default=1, then the first profile that has cookies.
// Only folders holding a cookies.sqlite count. Empty when there is none.
QString FirefoxProfileInUse(const QString &rootDir);
