// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/Result.h"

#include <QDateTime>
#include <QString>

// What BackUpStore did when it did not fail.
struct BackupOutcome
{
    bool saved = false; // false: the store holds no bidders, or what its newest backup holds
    QString path;       // the file written; when none was needed, the backup that already holds the list
};

// Copies the store at storePath, the whole file, into backups/ beside it, unless it is empty or
// holds what the newest backup holds (dates of rows the wizard added aside: a re-import of the
// same list stamps new ones). Backups are numbered, each one higher than any before, and the ten
// highest are kept whatever the clock said when each was made; `now` only names the date in the
// file name. The copy is a consistent snapshot even while another connection has rows in the
// write-ahead log. A failure leaves the store and the existing backups as they were.
Result<BackupOutcome> BackUpStore(const QString &storePath, const QDateTime &now = QDateTime::currentDateTime());
