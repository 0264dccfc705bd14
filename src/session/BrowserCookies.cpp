// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/BrowserCookies.h"

#include "session/BrowserSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <openssl/crypto.h>
#include <sqlite3.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// profiles.ini / installs.ini: sections in file order, keys as written.
struct IniSection
{
    QString name;
    QList<std::pair<QString, QString>> keys;

    QString value(const QString &key) const
    {
        for (const auto &[k, v] : keys)
            if (k == key)
                return v;
        return {};
    }
};

QList<IniSection> readIni(const QString &path)
{
    QList<IniSection> sections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return sections;
    for (QByteArray raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw.trimmed());
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            sections.append({line.mid(1, line.size() - 2), {}});
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && !sections.isEmpty())
            sections.last().keys.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return sections;
}

QString resolveProfile(const QString &rootDir, const QString &path, bool relative)
{
    if (path.isEmpty())
        return {};
    if (!relative || QDir::isAbsolutePath(path))
        return QDir::cleanPath(path);
    return QDir::cleanPath(rootDir + QLatin1Char('/') + path);
}

bool hasCookieStore(const QString &profileDir)
{
    return !profileDir.isEmpty() && QFileInfo(profileDir + QStringLiteral("/cookies.sqlite")).isFile();
}

// Firefox kept seconds in older schemas and milliseconds now; no cookie outlives the year 5000.
qint64 expiryToSeconds(qint64 stored)
{
    return stored > 100'000'000'000LL ? stored / 1000 : stored;
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

SessionQuery SessionQuery::forSite(const QString &siteUrl, const QString &appFolder, const SessionStop *stop)
{
    return SessionQuery{QUrl(siteUrl).host(), SessionCopiesFolder(appFolder), stop};
}

QList<QByteArray> SessionQuery::cookieHosts() const
{
    const QByteArray lower = host.toLower().toUtf8();
    QList<QByteArray> hosts{lower};
    if (lower.isEmpty())
        return hosts;
    // An address has no parent domains; a cookie for ".0.0.1" must not reach 127.0.0.1.
    const bool address = lower.contains(':') || std::all_of(lower.cbegin(), lower.cend(),
                                                            [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
    if (!address) {
        for (qsizetype dot = -1;;) {
            hosts << '.' + lower.mid(dot + 1);
            if ((dot = lower.indexOf('.', dot + 1)) < 0)
                break;
        }
    } else {
        hosts << '.' + lower;
    }
    return hosts;
}

bool BrowserCookies::hostMatches(const QString &cookieHost, const QString &requestHost)
{
    if (cookieHost.startsWith(QLatin1Char('.'))) {
        const QString domain = cookieHost.mid(1);
        return requestHost.compare(domain, Qt::CaseInsensitive) == 0 ||
               requestHost.endsWith(QLatin1Char('.') + domain, Qt::CaseInsensitive);
    }
    return requestHost.compare(cookieHost, Qt::CaseInsensitive) == 0;
}

QString FirefoxProfileInUse(const QString &rootDir)
{
    const QList<IniSection> profiles = readIni(rootDir + QStringLiteral("/profiles.ini"));
    QStringList candidates;

    // The install sections name the profile the browser actually opens; Default=1 is only the
    // profile manager's old choice and often points at an empty profile.
    for (const IniSection &s : profiles)
        if (s.name.startsWith(QStringLiteral("Install")))
            candidates << resolveProfile(rootDir, s.value(QStringLiteral("Default")), true);
    for (const IniSection &s : readIni(rootDir + QStringLiteral("/installs.ini")))
        candidates << resolveProfile(rootDir, s.value(QStringLiteral("Default")), true);

    QStringList allProfiles;
    for (const IniSection &s : profiles) {
        if (!s.name.startsWith(QStringLiteral("Profile")))
            continue;
        const QString dir = resolveProfile(rootDir, s.value(QStringLiteral("Path")),
                                           s.value(QStringLiteral("IsRelative")) != QStringLiteral("0"));
        if (s.value(QStringLiteral("Default")) == QStringLiteral("1"))
            candidates << dir;
        allProfiles << dir;
    }
    candidates << allProfiles;

    for (const QString &dir : std::as_const(candidates))
        if (hasCookieStore(dir))
            return dir;
    return {};
}

BrowserCookies BrowserCookies::fromFirefoxRoot(const QString &rootDir, const SessionQuery &query)
{
    const QString profile = FirefoxProfileInUse(rootDir);
    if (profile.isEmpty())
        return {};
    return fromCookiesSqlite(profile + QStringLiteral("/cookies.sqlite"), query);
}

BrowserCookies BrowserCookies::fromCookiesSqlite(const QString &path, const SessionQuery &query)
{
    BrowserCookies result;
    auto fail = [&](const QString &why) {
        result.m_problems << QStringLiteral("Could not read the Firefox cookies in %1: %2").arg(path, why);
        return result;
    };

    // A running Firefox holds the store in exclusive mode and keeps its newest cookies in the -wal.
    QTemporaryDir copyDir(SessionCopyTemplate(query.copiesIn));
    QString why;
    sqlite3 *db = openCopy(path, copyDir, &why);
    if (!db)
        return fail(why);

    // Cookies of containers and partitioned third-party cookies carry origin attributes; a plain
    // top-level visit to the site uses the empty ones. Old schemas have no such column.
    sqlite3_stmt *stmt = prepareForHosts(
        db,
        {"SELECT name, value, host, path, expiry, isSecure, lastAccessed FROM moz_cookies "
         "WHERE originAttributes = '' AND lower(host) IN ",
         "SELECT name, value, host, path, expiry, isSecure, lastAccessed FROM moz_cookies WHERE lower(host) IN "},
        query);
    if (!stmt) {
        const QString why = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return fail(why);
    }

    auto text = [stmt](int column) {
        return QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)),
                          sqlite3_column_bytes(stmt, column));
    };
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        BrowserCookie cookie;
        cookie.name = text(0);
        cookie.value = text(1);
        cookie.host = QString::fromUtf8(text(2));
        cookie.path = text(3).isEmpty() ? QByteArray("/") : text(3);
        cookie.expiresAt = expiryToSeconds(sqlite3_column_int64(stmt, 4));
        cookie.secure = sqlite3_column_int(stmt, 5) != 0;
        cookie.lastAccessed = sqlite3_column_int64(stmt, 6);
        result.addCookie(cookie, path);
    }
    if (rc != SQLITE_DONE)
        result.m_problems << QStringLiteral("Could not read the Firefox cookies in %1: %2")
                                 .arg(path, QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    result.m_sources << path;
    return result;
}

BrowserCookies BrowserCookies::fromCookiesTxt(const QString &path, const SessionQuery &query)
{
    BrowserCookies result;
    const QFileInfo info(path);
    if (!info.exists())
        return result;
    // It replaces every browser's session, so it must be the seller's own doing.
    QString refusal;
    if (info.ownerId() != ::geteuid())
        refusal = QStringLiteral("it belongs to another user");
    else if (info.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther))
        refusal = QStringLiteral("other users can write to it (make it writable by you alone, "
                                 "for example with chmod 600)");
    if (!refusal.isEmpty()) {
        result.m_problems << QStringLiteral("Did not read the cookies in %1: %2.").arg(path, refusal);
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.m_problems << QStringLiteral("Could not read the cookies in %1: %2").arg(path, file.errorString());
        return result;
    }
    const QList<QByteArray> hosts = query.cookieHosts();
    static const QByteArray httpOnlyPrefix("#HttpOnly_");
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(httpOnlyPrefix))
            line.remove(0, httpOnlyPrefix.size());
        else if (line.startsWith('#') || line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 6)
            continue;
        BrowserCookie cookie;
        cookie.host = QString::fromUtf8(fields[0]);
        if (fields[1] == "TRUE" && !cookie.host.startsWith(QLatin1Char('.')))
            cookie.host.prepend(QLatin1Char('.'));
        if (!hosts.contains(cookie.host.toLower().toUtf8()))
            continue;
        cookie.path = fields[2].isEmpty() ? QByteArray("/") : fields[2];
        cookie.secure = fields[3] == "TRUE";
        cookie.expiresAt = expiryToSeconds(fields[4].toLongLong());
        cookie.name = fields[5];
        cookie.value = fields.size() > 6 ? fields[6] : QByteArray();
        result.addCookie(cookie, path);
    }
    result.m_sources << path;
    return result;
}

sqlite3 *BrowserCookies::openCopy(const QString &path, const QTemporaryDir &dir, QString *error)
{
    if (!dir.isValid()) {
        *error = QStringLiteral("no private folder for a copy (%1)").arg(dir.errorString());
        return nullptr;
    }
    // Keep the file name: SQLite finds the -wal and -journal by it.
    const QString copy = dir.filePath(QFileInfo(path).fileName());
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        QFile source(path + suffix);
        if (!suffix.isEmpty() && !source.exists())
            continue;
        if (!source.copy(copy + suffix)) {
            *error = source.errorString();
            return nullptr;
        }
    }
    sqlite3 *db = nullptr;
    // Read-write on the copy: SQLite needs to build the WAL index to see the -wal's pages, and to
    // roll back a transaction that a -journal shows was left half done.
    if (sqlite3_open_v2(QFile::encodeName(copy).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory");
        sqlite3_close(db);
        return nullptr;
    }
    return db;
}

sqlite3_stmt *BrowserCookies::prepareForHosts(sqlite3 *db, const QList<QByteArray> &selects, const SessionQuery &query)
{
    const QList<QByteArray> hosts = query.cookieHosts();
    QByteArray list = "(?";
    list += QByteArray(",?").repeated(hosts.size() - 1) + ')';
    for (const QByteArray &select : selects) {
        sqlite3_stmt *stmt = nullptr;
        if (sqlite3_prepare_v2(db, (select + list).constData(), -1, &stmt, nullptr) != SQLITE_OK)
            continue;
        for (int i = 0; i < hosts.size(); ++i)
            sqlite3_bind_text(stmt, i + 1, hosts[i].constData(), int(hosts[i].size()), SQLITE_TRANSIENT);
        return stmt;
    }
    return nullptr;
}

void BrowserCookies::addJars(const BrowserCookies &other)
{
    m_jars << other.m_jars;
    m_problems << other.m_problems;
    m_sources << other.m_sources;
}

bool BrowserCookies::addCookie(const BrowserCookie &cookie, const QString &source)
{
    if (holdsControlByte(cookie.name) || holdsControlByte(cookie.value)) {
        m_problems << QStringLiteral("Left out the cookie %1 in %2: it holds control characters, which cannot go "
                                     "into a request.")
                          .arg(QString::fromLatin1(cookie.name.toPercentEncoding()), source);
        return false;
    }
    if (m_jars.isEmpty())
        m_jars.append(Jar());
    Jar &cookies = m_jars.last();
    for (const BrowserCookie &held : std::as_const(cookies))
        if (held.name == cookie.name && held.path == cookie.path &&
            held.host.compare(cookie.host, Qt::CaseInsensitive) == 0)
            return true;
    cookies.append(cookie);
    return true;
}

const BrowserCookies::Jar *BrowserCookies::jarFor(const QString &host, qint64 now) const
{
    // Profiles of several browsers may each hold a session for the site; the one that used it last
    // is the one the seller is signed in with now.
    const Jar *chosen = nullptr;
    qint64 latest = 0;
    for (const Jar &jar : m_jars)
        for (const BrowserCookie &cookie : jar)
            if ((cookie.expiresAt == 0 || cookie.expiresAt > now) && hostMatches(cookie.host, host) &&
                (!chosen || cookie.lastAccessed > latest)) {
                chosen = &jar;
                latest = cookie.lastAccessed;
            }
    return chosen;
}

QByteArray BrowserCookies::cookieHeaderFor(const QString &url) const
{
    if (m_jars.isEmpty())
        return {};
    const QUrl parsed(url);
    const QString host = parsed.host();
    const bool https = parsed.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    QByteArray path = parsed.path(QUrl::FullyEncoded).toUtf8();
    if (path.isEmpty())
        path = "/";
    const qint64 now = (m_now.isValid() ? m_now : QDateTime::currentDateTimeUtc()).toSecsSinceEpoch();
    const Jar *jar = jarFor(host, now);
    if (!jar)
        return {};

    std::vector<const BrowserCookie *> chosen;
    for (const BrowserCookie &cookie : *jar) {
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
