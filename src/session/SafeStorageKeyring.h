// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/Result.h"

#include <QByteArray>
#include <QString>

class SessionStop;

// The key made from a Chromium-family browser's "Safe Storage" secret in the desktop keyring (Secret
// Service), or why there is none, in plain words. Nothing is unlocked, and no question waits past
// the stop's keyring wait, counted from when it is asked, or past its cancel. A key, or a keyring
// that plainly has none, is remembered for the rest of the run; a keyring that did not answer in
// time, or a question cancelled, is asked again next time. Safe from any thread.
Result<QByteArray> SafeStorageKey(const QString &keyringApplication, const SessionStop &stop);
// Wipes and forgets what the keyring said, so that the next read asks it again.
void ForgetSafeStorageKeys();
