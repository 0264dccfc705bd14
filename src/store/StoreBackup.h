// SPDX-FileCopyrightText: The Bidwarden authors
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
        NotNeeded, // the store holds no bidders, or the same rows as its newest backup
        Failed
    };
    Outcome outcome = Outcome::Failed;
    QString backupPath; // the file written, when Saved; the newest backup, when that one holds the same rows
    QString message;

    // True when the caller may go on and replace the store.
    bool ok() const { return outcome != Outcome::Failed; }
};

// Copies the store at storePath into backups/bidders-YYYYMMDD-HHMMSS.mdb beside it, named after
// `now`, unless it is empty or holds the same rows as the newest backup. Of the others, only those
// older than the newest ten by the time their file was written are removed, never the one just
// written. The copy is a consistent snapshot even while another connection has rows in the
// write-ahead log. A failure leaves the store and the existing backups as they were.
StoreBackupResult BackUpStore(const QString &storePath, const QDateTime &now = QDateTime::currentDateTime());
