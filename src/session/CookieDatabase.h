// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;
struct SessionQuery;

// What the Firefox and Chromium readers share: both keep their cookies in an SQLite file that the
// browser may hold locked.
struct CloseDatabase
{
    void operator()(sqlite3 *db) const;
};
using CookieDatabase = std::unique_ptr<sqlite3, CloseDatabase>;
struct FinalizeStatement
{
    void operator()(sqlite3_stmt *stmt) const;
};
using CookieStatement = std::unique_ptr<sqlite3_stmt, FinalizeStatement>;

// A private copy of a browser's cookie database, open; the copy is gone with it.
struct CookieDatabaseCopy
{
    std::unique_ptr<QTemporaryDir> folder;
    CookieDatabase db; // closed before its folder goes
};

// Opens a private copy, made in a folder of its own in copiesIn, of a browser's cookie database and
// its -wal or -journal: the browser may hold the original locked, and its newest writes may live
// only in those files.
Result<CookieDatabaseCopy> OpenCookieDatabaseCopy(const QString &path, const QString &copiesIn);

// The first of the statements that the store's schema takes, for the query's hosts: each ends in
// "<host column> IN ", and the list of hosts is bound after it. Null when the schema takes none.
CookieStatement PrepareForHosts(sqlite3 *db, const QList<QByteArray> &selects, const SessionQuery &query);

// The text of an SQLite column as bytes.
QByteArray ColumnBytes(sqlite3_stmt *stmt, int column);
