// SPDX-License-Identifier: MIT
#include "StoreBackup.h"

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

// Backups of that name pattern only, oldest first. A second backup in the same second carries a
// suffix (-2, -3...), which has to sort after the plain name and numerically.
QStringList backupsOldestFirst(const QDir &folder)
{
    static const QRegularExpression pattern(QStringLiteral("^bidders-(\\d{8}-\\d{6})(?:-(\\d+))?\\.mdb$"));
    QList<std::pair<QString, int>> found;
    const QStringList names = folder.entryList(QDir::Files);
    for (const QString &name : names) {
        const auto match = pattern.match(name);
        if (match.hasMatch())
            found.append({name, match.captured(2).isEmpty() ? 1 : match.captured(2).toInt()});
    }
    std::sort(found.begin(), found.end(), [](const auto &a, const auto &b) {
        const QStringView stampA = QStringView(a.first).mid(8, 15), stampB = QStringView(b.first).mid(8, 15);
        return stampA != stampB ? stampA < stampB : a.second < b.second;
    });
    QStringList sorted;
    for (const auto &entry : found)
        sorted << entry.first;
    return sorted;
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
    sqlite3_stmt *count = nullptr;
    if (sqlite3_prepare_v2(source.db, "SELECT EXISTS (SELECT 1 FROM Bidders)", -1, &count, nullptr) != SQLITE_OK)
        return result(Outcome::Failed, failed + source.error());
    const int step = sqlite3_step(count);
    const bool hasRows = step == SQLITE_ROW && sqlite3_column_int(count, 0) != 0;
    sqlite3_finalize(count);
    if (step != SQLITE_ROW)
        return result(Outcome::Failed, failed + source.error());
    if (!hasRows)
        return result(Outcome::NotNeeded, nothingToSave);

    const QFileInfo backupsInfo(backupsPath);
    if (backupsInfo.exists() && !backupsInfo.isDir())
        return result(Outcome::Failed, failed + QStringLiteral("It is a file, not a folder."));
    std::error_code madeError;
    std::filesystem::create_directory(QFile::encodeName(backupsPath).toStdString(), madeError);
    if (madeError)
        return result(Outcome::Failed, failed + QString::fromLocal8Bit(madeError.message().c_str()));

    QDir backups(backupsPath);
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

    // A backup that cannot be removed only takes space; the new one is made either way.
    QStringList all = backupsOldestFirst(backups);
    while (all.size() > kBackupsKept)
        backups.remove(all.takeFirst());
    return result(Outcome::Saved,
                  QStringLiteral("The list of blocked bidders was backed up to %1.").arg(native(backupPath)),
                  backupPath);
}
