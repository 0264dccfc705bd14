// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/CookieJar.h"

#include "session/SessionCopies.h"

#include <QUrl>
#include <algorithm>
#include <libpsl.h>
#include <vector>

namespace {

// An address has no parent domains; a cookie for ".0.0.1" must not reach 127.0.0.1.
bool isAddress(const QByteArray &host)
{
    return host.contains(':') ||
           std::all_of(host.cbegin(), host.cend(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// The highest domain a cookie for host may be bound to ("ebay.co.uk" for "cgi.ebay.co.uk"), from the
// public suffix list; empty for an address or a host that is itself a public suffix. host: lower case.
QByteArray registeredDomain(const QByteArray &host)
{
    static const psl_ctx_t *const suffixes = [] {
        const psl_ctx_t *latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    if (host.isEmpty() || isAddress(host) || !suffixes)
        return {};
    const char *domain = psl_registrable_domain(suffixes, host.constData());
    return domain ? QByteArray(domain) : QByteArray();
}

bool hostMatches(const QString &cookieHost, const QString &requestHost)
{
    const QByteArray host = requestHost.toLower().toUtf8();
    const QByteArray cookie = cookieHost.toLower().toUtf8();
    if (!cookie.startsWith('.'))
        return host == cookie;
    const QByteArray domain = cookie.mid(1);
    if (host == domain)
        return true;
    const QByteArray highest = registeredDomain(host);
    return !highest.isEmpty() && host.endsWith(cookie) && domain.size() >= highest.size();
}

bool pathMatches(const QByteArray &cookiePath, const QByteArray &requestPath)
{
    if (requestPath == cookiePath)
        return true;
    if (!requestPath.startsWith(cookiePath))
        return false;
    return cookiePath.endsWith('/') || requestPath.at(cookiePath.size()) == '/';
}

// A byte that would end the Cookie header or smuggle another one in.
bool holdsControlByte(const QByteArray &bytes)
{
    return std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; });
}

} // namespace

SessionQuery SessionQuery::forSite(const QString &siteUrl, const SessionStop *stop)
{
    return SessionQuery{QUrl(siteUrl).host(), SessionCopiesFolder(), stop};
}

QList<QByteArray> SessionQuery::cookieHosts() const
{
    const QByteArray lower = host.toLower().toUtf8();
    QList<QByteArray> hosts{lower};
    if (lower.isEmpty())
        return hosts;
    hosts << '.' + lower;
    const QByteArray highest = registeredDomain(lower);
    for (qsizetype dot = lower.indexOf('.'); dot >= 0 && lower.size() - dot - 1 >= highest.size() && !highest.isEmpty();
         dot = lower.indexOf('.', dot + 1))
        hosts << lower.mid(dot);
    return hosts;
}

void CookieJar::addProfiles(const CookieJar &other)
{
    m_profiles << other.m_profiles;
    m_problems << other.m_problems;
    m_sources << other.m_sources;
}

bool CookieJar::add(const BrowserCookie &cookie, const QString &source)
{
    if (holdsControlByte(cookie.name) || holdsControlByte(cookie.value)) {
        m_problems << QStringLiteral("Left out the cookie %1 in %2: it holds control characters, which cannot go "
                                     "into a request.")
                          .arg(QString::fromLatin1(cookie.name.toPercentEncoding()), source);
        return false;
    }
    if (m_profiles.isEmpty())
        m_profiles.append(Profile());
    Profile &cookies = m_profiles.last();
    for (const BrowserCookie &held : std::as_const(cookies))
        if (held.name == cookie.name && held.path == cookie.path &&
            held.host.compare(cookie.host, Qt::CaseInsensitive) == 0)
            return true;
    cookies.append(cookie);
    return true;
}

const CookieJar::Profile *CookieJar::profileFor(const QString &host, qint64 now) const
{
    // Profiles of several browsers may each hold a session for the site; the one that used it last
    // is the one the seller is signed in with now.
    const Profile *chosen = nullptr;
    qint64 latest = 0;
    for (const Profile &profile : m_profiles)
        for (const BrowserCookie &cookie : profile)
            if ((cookie.expiresAt == 0 || cookie.expiresAt > now) && hostMatches(cookie.host, host) &&
                (!chosen || cookie.lastAccessed > latest)) {
                chosen = &profile;
                latest = cookie.lastAccessed;
            }
    return chosen;
}

QByteArray CookieJar::cookieHeaderFor(const QString &url) const
{
    if (m_profiles.isEmpty())
        return {};
    const QUrl parsed(url);
    const QString host = parsed.host();
    const bool https = parsed.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    QByteArray path = parsed.path(QUrl::FullyEncoded).toUtf8();
    if (path.isEmpty())
        path = "/";
    const qint64 now = (m_now.isValid() ? m_now : QDateTime::currentDateTimeUtc()).toSecsSinceEpoch();
    const Profile *profile = profileFor(host, now);
    if (!profile)
        return {};

    std::vector<const BrowserCookie *> chosen;
    for (const BrowserCookie &cookie : *profile) {
        if (!cookie.readable || (cookie.expiresAt != 0 && cookie.expiresAt <= now))
            continue;
        if (cookie.secure && !https)
            continue;
        if (hostMatches(cookie.host, host) && pathMatches(cookie.path, path))
            chosen.push_back(&cookie);
    }
    std::stable_sort(chosen.begin(), chosen.end(),
                     [](const BrowserCookie *a, const BrowserCookie *b) { return a->path.size() > b->path.size(); });

    QByteArray header;
    for (const BrowserCookie *cookie : chosen) {
        if (!header.isEmpty())
            header += "; ";
        header += cookie->name + '=' + cookie->value;
    }
    return header;
}
