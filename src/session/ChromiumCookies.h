// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

class SessionStop;

// Chromium-family browsers on Linux: where they keep their profiles and under which name their
// "Safe Storage" secret sits in the desktop keyring. The reader itself is
// BrowserCookies::fromChromiumRoot.
struct ChromiumBrowser
{
    QString name;               // for the problems the reader reports
    QString keyringApplication; // the secret's "application" attribute
    QStringList roots;          // folders holding "Local State": the usual one, then snap and flatpak
};

// Every browser the program reads, with folders under the current user's home.
QList<ChromiumBrowser> ChromiumBrowsers();

// The profile folder in use under a browser's root: Local State's profile.last_used, else Default,
// when it holds a cookie database. Empty when neither does.
QString ChromiumProfileInUse(const QString &rootDir);

// The cookie database of a profile (newer builds keep it under Network/). Empty when there is none.
QString ChromiumCookieDatabase(const QString &profileDir);

// The key made from the browser's "Safe Storage" secret in the desktop keyring (Secret Service),
// without unlocking anything and without waiting past the stop's deadline. The keyring is asked
// once per run for each entry; what it said, the key or the reason in plain words (in problem),
// is kept for the rest of the run, unless the stop was cancelled first. Safe from any thread.
std::optional<QByteArray> SafeStorageKey(const QString &keyringApplication, const SessionStop &stop, QString *problem);
// Wipes and forgets what the keyring said, so that the next read asks it again.
void ForgetSafeStorageKeys();
