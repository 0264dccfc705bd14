// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "session/CookieJar.h"

#include <QString>

// Which profile folder of a Firefox root is in use: the [Install...] default (profiles.ini, then
// installs.ini), then the profile marked Default=1, then the first profile that has cookies.
// Only folders holding a cookies.sqlite count. Empty when there is none.
QString FirefoxProfileInUse(const QString &rootDir);

// The cookies of the profile in use under a Firefox root (the folder that holds profiles.ini).
CookieJar ReadFirefoxRoot(const QString &rootDir, const SessionQuery &query);
// One cookies.sqlite, read from a private copy together with its -wal file; only the rows that
// could go to the query's host.
CookieJar ReadCookiesSqlite(const QString &path, const SessionQuery &query);
