// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

// What BackUpStore did. message is in plain words either way: the backup made, why none was
// needed, or which file failed and why.
struct StoreBackupResult
{
    enum class Outcome
    {
        Saved,
        NotNeeded, // the store holds no bidders, so there is nothing to lose
        Failed
    };
    Outcome outcome = Outcome::Failed;
    QString backupPath; // the file written, when Saved
    QString message;

    // True when the caller may go on and replace the store.
    bool ok() const { return outcome != Outcome::Failed; }
};

// Copies the store at storePath into backups/bidders-YYYYMMDD-HHMMSS.mdb beside it, named after
// `now`, and keeps the newest 10 such backups. The copy is a consistent snapshot even while
// another connection has rows in the write-ahead log. A failure leaves the store and the
// existing backups as they were.
StoreBackupResult BackUpStore(const QString &storePath, const QDateTime &now = QDateTime::currentDateTime());
