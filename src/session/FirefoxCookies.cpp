// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/FirefoxCookies.h"

#include "session/CookieDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>
#include <utility>

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

} // namespace

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

CookieJar ReadFirefoxRoot(const QString &rootDir, const SessionQuery &query)
{
    const QString profile = FirefoxProfileInUse(rootDir);
    if (profile.isEmpty())
        return {};
    return ReadCookiesSqlite(profile + QStringLiteral("/cookies.sqlite"), query);
}

CookieJar ReadCookiesSqlite(const QString &path, const SessionQuery &query)
{
    CookieJar jar;
    auto fail = [&](const QString &why) {
        jar.addProblem(QStringLiteral("Could not read the Firefox cookies in %1: %2").arg(path, why));
        return jar;
    };

    // A running Firefox holds the store in exclusive mode and keeps its newest cookies in the -wal.
    const Result<CookieDatabaseCopy> copy = OpenCookieDatabaseCopy(path, query.copiesIn);
    if (!copy)
        return fail(copy.error());
    sqlite3 *db = copy->db.get();

    // Cookies of containers and partitioned third-party cookies carry origin attributes; a plain
    // top-level visit to the site uses the empty ones. Old schemas have no such column.
    const CookieStatement stmt = PrepareForHosts(
        db,
        {"SELECT name, value, host, path, expiry, isSecure, lastAccessed FROM moz_cookies "
         "WHERE originAttributes = '' AND lower(host) IN ",
         "SELECT name, value, host, path, expiry, isSecure, lastAccessed FROM moz_cookies WHERE lower(host) IN "},
        query);
    if (!stmt)
        return fail(QString::fromUtf8(sqlite3_errmsg(db)));

    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        BrowserCookie cookie;
        cookie.name = ColumnBytes(stmt.get(), 0);
        cookie.value = ColumnBytes(stmt.get(), 1);
        cookie.host = QString::fromUtf8(ColumnBytes(stmt.get(), 2));
        const QByteArray cookiePath = ColumnBytes(stmt.get(), 3);
        cookie.path = cookiePath.isEmpty() ? QByteArray("/") : cookiePath;
        cookie.expiresAt = expiryToSeconds(sqlite3_column_int64(stmt.get(), 4));
        cookie.secure = sqlite3_column_int(stmt.get(), 5) != 0;
        cookie.lastAccessed = sqlite3_column_int64(stmt.get(), 6);
        jar.add(cookie, path);
    }
    if (rc != SQLITE_DONE)
        jar.addProblem(QStringLiteral("Could not read the Firefox cookies in %1: %2")
                           .arg(path, QString::fromUtf8(sqlite3_errmsg(db))));
    jar.addSource(path);
    return jar;
}
