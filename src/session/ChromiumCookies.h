// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "session/CookieJar.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The profile folder in use under a Chromium-family browser's root (the folder holding "Local
// State"): Local State's profile.last_used, else Default, when it holds a cookie database. Empty when
// neither does.
QString ChromiumProfileInUse(const QString &rootDir);
// The cookie database of a profile (newer builds keep it under Network/). Empty when there is none.
QString ChromiumCookieDatabase(const QString &profileDir);

// The AES key Chromium on Linux makes from a password: "peanuts" for v10 values, the keyring's
// "Safe Storage" secret for v11 ones.
QByteArray ChromiumKey(const QByteArray &password);
// A cookie value's plaintext, or nothing when the key is wrong or the data damaged (the padding,
// or the host's hash that newer databases put in front of the value, does not check out).
// cipherText: the encrypted value without its "v10"/"v11" prefix; hostHash: the SHA-256 of the
// cookie's host for databases of version 24 and later, else empty. Only the value handed back holds
// the plaintext.
std::optional<QByteArray> DecryptChromiumValue(const QByteArray &key, const QByteArray &cipherText,
                                               const QByteArray &hostHash);

// The cookies of the profile in use under a Chromium-family browser's root, for the query's host.
// v11 values need the browser's "Safe Storage" secret: the given one, else the desktop keyring's
// entry for keyringApplication. browserName goes into the problems.
CookieJar ReadChromiumRoot(const QString &rootDir, const QString &browserName, const QString &keyringApplication,
                           const SessionQuery &query, const std::optional<QByteArray> &safeStorageSecret = {});
