// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "StoreBackup.h"

#include "BidderStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <filesystem>
#include <sqlite3.h>

namespace {

constexpr int kBackupsKept = 10;

// Closes the connection however the backup ends.
struct Connection
{
    sqlite3 *db = nullptr;
    ~Connection() { sqlite3_close(db); }
    QString error() const { return QString::fromUtf8(db ? sqlite3_errmsg(db) : "out of memory"); }
};

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

StoreBackupResult result(StoreBackupResult::Outcome outcome, const QString &message, const QString &path = {})
{
    return StoreBackupResult{outcome, path, message};
}

// Backups of that name pattern only, newest first by the time the file was written: a clock set
// back gives a new backup a name that sorts before older ones. Files written in the same instant
// go by name, where a second backup in the same second carries a suffix (-2, -3...).
QStringList backupsNewestFirst(const QDir &folder)
{
    static const QRegularExpression pattern(QStringLiteral("^bidders-(\\d{8}-\\d{6})(?:-(\\d+))?\\.mdb$"));
    struct Found
    {
        QString name;
        QDateTime written;
        int suffix;
    };
    QList<Found> found;
    const QFileInfoList files = folder.entryInfoList(QDir::Files);
    for (const QFileInfo &file : files) {
        const auto match = pattern.match(file.fileName());
        if (match.hasMatch())
            found.append(
                {file.fileName(), file.lastModified(), match.captured(2).isEmpty() ? 1 : match.captured(2).toInt()});
    }
    std::sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.written != b.written)
            return a.written > b.written;
        const QStringView stampA = QStringView(a.name).mid(8, 15), stampB = QStringView(b.name).mid(8, 15);
        return stampA != stampB ? stampA > stampB : a.suffix > b.suffix;
    });
    QStringList sorted;
    for (const Found &entry : found)
        sorted << entry.name;
    return sorted;
}

// Every row's texts in stored order; none when the file cannot be read as a list of bidders.
std::optional<QList<Bidder>> readRows(sqlite3 *db)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT UserName, NARU, dateTime, Reason FROM Bidders ORDER BY rowid", -1, &statement,
                           nullptr) != SQLITE_OK)
        return std::nullopt;
    auto text = [statement](int column) {
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    };
    QList<Bidder> rows;
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW)
        rows.append(Bidder{text(0), text(1), text(2), text(3)});
    sqlite3_finalize(statement);
    return step == SQLITE_DONE ? std::optional(rows) : std::nullopt;
}

} // namespace

StoreBackupResult BackUpStore(const QString &storePath, const QDateTime &now)
{
    using Outcome = StoreBackupResult::Outcome;
    const QString nothingToSave = QStringLiteral("The list of blocked bidders is empty, so it needed no backup.");
    if (!QFileInfo::exists(storePath))
        return result(Outcome::NotNeeded, nothingToSave);

    const QDir folder = QFileInfo(storePath).dir();
    const QString backupsPath = folder.filePath(QStringLiteral("backups"));
    const QString failed = QStringLiteral("Bidwarden could not back up its list of blocked bidders, %1, into %2.\n\n")
                               .arg(native(storePath), native(backupsPath));

    Connection source;
    if (sqlite3_open_v2(QFile::encodeName(storePath).constData(), &source.db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        return result(Outcome::Failed, failed + source.error());
    sqlite3_busy_timeout(source.db, 5000);
    const std::optional<QList<Bidder>> rows = readRows(source.db);
    if (!rows)
        return result(Outcome::Failed, failed + source.error());
    if (rows->isEmpty())
        return result(Outcome::NotNeeded, nothingToSave);

    const QFileInfo backupsInfo(backupsPath);
    if (backupsInfo.exists() && !backupsInfo.isDir())
        return result(Outcome::Failed, failed + QStringLiteral("It is a file, not a folder."));
    std::error_code madeError;
    std::filesystem::create_directory(QFile::encodeName(backupsPath).toStdString(), madeError);
    if (madeError)
        return result(Outcome::Failed, failed + QString::fromLocal8Bit(madeError.message().c_str()));

    QDir backups(backupsPath);
    // A list that is already kept as it is needs no second copy, which would push an older one out.
    if (const QStringList existing = backupsNewestFirst(backups); !existing.isEmpty()) {
        const QString newest = backups.filePath(existing.first());
        Connection kept;
        if (sqlite3_open_v2(QFile::encodeName(newest).constData(), &kept.db, SQLITE_OPEN_READONLY, nullptr) ==
                SQLITE_OK &&
            readRows(kept.db) == rows)
            return result(
                Outcome::NotNeeded,
                QStringLiteral("The list of blocked bidders is the same as its newest backup, %1.").arg(native(newest)),
                newest);
    }

    const QString stamp = QStringLiteral("bidders-") + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString backupPath = backups.filePath(stamp + QStringLiteral(".mdb"));
    for (int suffix = 2; QFileInfo::exists(backupPath); ++suffix)
        backupPath = backups.filePath(stamp + QStringLiteral("-%1.mdb").arg(suffix));

    // The online backup reads one committed snapshot, rows still in the write-ahead log included;
    // a plain file copy would miss those. The copy then leaves WAL mode so it is a single file.
    {
        Connection target;
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        int rc = sqlite3_open_v2(QFile::encodeName(backupPath).constData(), &target.db, flags, nullptr);
        QString why = rc == SQLITE_OK ? QString() : target.error();
        if (rc == SQLITE_OK) {
            sqlite3_backup *backup = sqlite3_backup_init(target.db, "main", source.db, "main");
            rc = backup ? sqlite3_backup_step(backup, -1) : sqlite3_errcode(target.db);
            const int finished = sqlite3_backup_finish(backup);
            if (rc == SQLITE_DONE)
                rc = finished;
            why = rc == SQLITE_OK ? QString() : QString::fromUtf8(sqlite3_errstr(rc));
        }
        if (rc == SQLITE_OK &&
            sqlite3_exec(target.db, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK)
            why = target.error();
        if (!why.isEmpty()) {
            sqlite3_close(target.db);
            target.db = nullptr;
            QFile::remove(backupPath);
            QFile::remove(backupPath + QStringLiteral("-journal"));
            return result(Outcome::Failed, QStringLiteral("Bidwarden could not back up its list of blocked bidders, "
                                                          "%1, to %2.\n\n%3")
                                               .arg(native(storePath), native(backupPath), why));
        }
    }

    // Older than the newest ten go; the one just written stays whatever the clock said. A backup
    // that cannot be removed only takes space.
    const QString written = QFileInfo(backupPath).fileName();
    const QStringList all = backupsNewestFirst(backups);
    for (qsizetype i = kBackupsKept; i < all.size(); ++i)
        if (all.at(i) != written)
            backups.remove(all.at(i));
    return result(Outcome::Saved,
                  QStringLiteral("The list of blocked bidders was backed up to %1.").arg(native(backupPath)),
                  backupPath);
}
