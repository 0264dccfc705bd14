// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class SessionStop;

// What a reader needs besides the store itself: the site's host (only the rows that can go to it
// are read), the folder that gets the private folder for copies of the stores, and what stops a
// wait on the keyring (nothing: the reader's own stop).
struct SessionQuery
{
    QString host;
    QString copiesIn;
    const SessionStop *stop = nullptr;

    // For a site address, with copies in the user's runtime folder.
    static SessionQuery forSite(const QString &siteUrl, const SessionStop *stop = nullptr);
    // The host and every parent domain whose cookies could go to it, as the stores write them
    // ("www.example.test", ".www.example.test", ".example.test"), in lower case: no higher than the
    // registered domain, so a cookie set for a public suffix (".co.uk", ".test") is never read.
    QList<QByteArray> cookieHosts() const;
};

// One cookie as a browser stored it. Our requests carry no credentials of their own; these cookies
// are how the site knows the seller.
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

// The signed-in browser's cookies for the site, read once and then matched against each request's
// address; each browser profile's apart, with the problems met reading them.
class CookieJar
{
public:
    // Adds a cookie to the latest profile (a first one when there is none). False, with a problem
    // noted, for a cookie whose name or value cannot go into a header.
    bool add(const BrowserCookie &cookie, const QString &source);
    // Adds another reader's cookies as profiles of their own, with its problems and sources.
    void addProfiles(const CookieJar &other);
    void addProblem(const QString &problem) { m_problems << problem; }
    void addSource(const QString &source) { m_sources << source; }

    // Pins the clock used for expiry (tests); an invalid time means the real clock.
    void setNow(const QDateTime &now) { m_now = now; }

    // "a=1; b=2" for the cookies that go with a request to url, all from one profile: unexpired,
    // host and path matching, secure ones only over https, none bound above the host's registered
    // domain. Longer paths first, as browsers send them.
    QByteArray cookieHeaderFor(const QString &url) const;

    // Stores that were there but could not be read, and cookies left out because their value could
    // not be decrypted: one plain line each, naming the browser or file and the reason.
    const QStringList &problems() const { return m_problems; }
    // The cookie stores that were read, for diagnostics.
    const QStringList &sources() const { return m_sources; }

private:
    // One profile's cookies; a request never mixes two of them.
    using Profile = QList<BrowserCookie>;

    const Profile *profileFor(const QString &host, qint64 now) const;

    QList<Profile> m_profiles;
    QStringList m_problems;
    QStringList m_sources;
    QDateTime m_now;
};
