// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/CookieDatabase.h"

#include "session/CookieJar.h"
#include "session/SessionCopies.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sqlite3.h>

void CloseDatabase::operator()(sqlite3 *db) const
{
    sqlite3_close(db);
}

void FinalizeStatement::operator()(sqlite3_stmt *stmt) const
{
    sqlite3_finalize(stmt);
}

Result<CookieDatabaseCopy> OpenCookieDatabaseCopy(const QString &path, const QString &copiesIn)
{
    // Never a folder relative to wherever the program was started.
    if (copiesIn.isEmpty())
        return Failure{QStringLiteral("no private folder for a copy (the user has no runtime folder: "
                                      "XDG_RUNTIME_DIR is not set)")};
    auto folder = std::make_unique<QTemporaryDir>(SessionCopyTemplate(copiesIn));
    if (!folder->isValid())
        return Failure{QStringLiteral("no private folder for a copy (%1)").arg(folder->errorString())};
    // Keep the file name: SQLite finds the -wal and -journal by it.
    const QString copy = folder->filePath(QFileInfo(path).fileName());
    for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-journal")}) {
        QFile source(path + suffix);
        if (!suffix.isEmpty() && !source.exists())
            continue;
        if (!source.copy(copy + suffix))
            return Failure{source.errorString()};
    }
    sqlite3 *db = nullptr;
    // Read-write on the copy: SQLite needs to build the WAL index to see the -wal's pages, and to
    // roll back a transaction that a -journal shows was left half done.
    const int rc = sqlite3_open_v2(QFile::encodeName(copy).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    CookieDatabase opened(db);
    if (rc != SQLITE_OK)
        return Failure{QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory")};
    return CookieDatabaseCopy{std::move(folder), std::move(opened)};
}

CookieStatement PrepareForHosts(sqlite3 *db, const QList<QByteArray> &selects, const SessionQuery &query)
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
        return CookieStatement(stmt);
    }
    return nullptr;
}

QByteArray ColumnBytes(sqlite3_stmt *stmt, int column)
{
    return QByteArray(static_cast<const char *>(sqlite3_column_blob(stmt, column)), sqlite3_column_bytes(stmt, column));
}
