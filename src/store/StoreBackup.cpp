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

Failure failed(const QString &storePath, const QString &backupsPath, const QString &why)
{
    return Failure{QStringLiteral("Bidwarden could not back up its list of blocked bidders, %1, into %2.\n\n%3")
                       .arg(native(storePath), native(backupsPath), why)};
}

// bidders-<number>-<date>-<time>.mdb; the number orders them. Backups named by date alone, as
// earlier versions made them, come before every numbered one and go first.
struct Backup
{
    QString name;
    qint64 number;
};

QList<Backup> backupsNewestFirst(const QDir &folder)
{
    static const QRegularExpression numbered(QStringLiteral("^bidders-(\\d{6,18})-\\d{8}-\\d{6}\\.mdb$"));
    static const QRegularExpression dated(QStringLiteral("^bidders-\\d{8}-\\d{6}(?:-\\d+)?\\.mdb$"));
    QList<Backup> found;
    for (const QString &name : folder.entryList(QDir::Files)) {
        if (const auto match = numbered.match(name); match.hasMatch())
            found.append({name, match.captured(1).toLongLong()});
        else if (dated.match(name).hasMatch())
            found.append({name, 0});
    }
    std::sort(found.begin(), found.end(), [](const Backup &a, const Backup &b) {
        // Same-second names of earlier versions: bidders-…-120117 comes before bidders-…-120117-2.
        return a.number != b.number ? a.number > b.number : a.name.chopped(4) > b.name.chopped(4);
    });
    return found;
}

// What a store holds: its rows in stored order, and the site's list when it keeps one.
struct Content
{
    QList<Bidder> rows;
    std::optional<QStringList> siteBase;
};

// The texts of every row of a query, `columns` to a row; none when it cannot be read.
std::optional<QList<QStringList>> select(sqlite3 *db, const char *sql, int columns)
{
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK)
        return std::nullopt;
    QList<QStringList> rows;
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        QStringList row;
        for (int column = 0; column < columns; ++column)
            row << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                                     sqlite3_column_bytes(statement, column));
        rows.append(row);
    }
    sqlite3_finalize(statement);
    return step == SQLITE_DONE ? std::optional(rows) : std::nullopt;
}

std::optional<Content> readContent(sqlite3 *db)
{
    const auto rows = select(db, "SELECT UserName, NARU, dateTime, Reason FROM Bidders ORDER BY rowid", 4);
    const auto kept =
        select(db, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'SiteList' COLLATE NOCASE", 1);
    if (!rows || !kept)
        return std::nullopt;
    Content content;
    for (const QStringList &row : *rows)
        content.rows.append(Bidder{row.at(0), row.at(1), row.at(2), row.at(3)});
    if (!kept->isEmpty()) {
        const auto ids = select(db, "SELECT UserName FROM SiteList ORDER BY rowid", 1);
        if (!ids)
            return std::nullopt;
        content.siteBase.emplace();
        for (const QStringList &id : *ids)
            content.siteBase->append(id.at(0));
    }
    return content;
}

// The same list, but for the dates the wizard stamps on the rows it adds: importing the same list
// again changes only those.
bool sameList(const Content &a, const Content &b)
{
    const QString imported = QString::fromLatin1(BidderStore::ImportReason);
    return a.siteBase == b.siteBase &&
           std::equal(a.rows.begin(), a.rows.end(), b.rows.begin(), b.rows.end(),
                      [&](const Bidder &x, const Bidder &y) {
                          return x.userName == y.userName && x.naru == y.naru && x.reason == y.reason &&
                                 (x.dateTime == y.dateTime || (x.reason == imported && y.reason == imported));
                      });
}

} // namespace

Result<BackupOutcome> BackUpStore(const QString &storePath, const QDateTime &now)
{
    if (!QFileInfo::exists(storePath))
        return BackupOutcome{};

    const QDir folder = QFileInfo(storePath).dir();
    const QString backupsPath = folder.filePath(QStringLiteral("backups"));

    Connection source;
    if (sqlite3_open_v2(QFile::encodeName(storePath).constData(), &source.db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        return failed(storePath, backupsPath, source.error());
    sqlite3_busy_timeout(source.db, 5000);
    // One read transaction, so that what is compared is what is copied.
    if (sqlite3_exec(source.db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return failed(storePath, backupsPath, source.error());
    const std::optional<Content> content = readContent(source.db);
    if (!content)
        return failed(storePath, backupsPath, source.error());
    if (content->rows.isEmpty())
        return BackupOutcome{};

    const QFileInfo backupsInfo(backupsPath);
    if (backupsInfo.exists() && !backupsInfo.isDir())
        return failed(storePath, backupsPath, QStringLiteral("It is a file, not a folder."));
    std::error_code madeError;
    std::filesystem::create_directory(QFile::encodeName(backupsPath).toStdString(), madeError);
    if (madeError)
        return failed(storePath, backupsPath, QString::fromLocal8Bit(madeError.message().c_str()));

    QDir backups(backupsPath);
    // A list that is already kept as it is needs no second copy, which would push an older one out.
    const QList<Backup> existing = backupsNewestFirst(backups);
    if (!existing.isEmpty()) {
        const QString newest = backups.filePath(existing.first().name);
        Connection kept;
        if (sqlite3_open_v2(QFile::encodeName(newest).constData(), &kept.db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK) {
            if (const auto keptContent = readContent(kept.db); keptContent && sameList(*keptContent, *content))
                return BackupOutcome{false, newest};
        }
    }

    // One more than the highest so far, whatever the clock says, so a new backup is always the newest.
    qint64 number = existing.isEmpty() ? 1 : existing.first().number + 1;
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString backupPath;
    do
        backupPath =
            backups.filePath(QStringLiteral("bidders-%1-%2.mdb").arg(number++, 6, 10, QLatin1Char('0')).arg(stamp));
    while (QFileInfo::exists(backupPath));
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
            return Failure{QStringLiteral("Bidwarden could not back up its list of blocked bidders, %1, to %2.\n\n%3")
                               .arg(native(storePath), native(backupPath), why)};
        }
    }

    // Beyond the newest ten by number go; the one just written is the highest. A backup that
    // cannot be removed only takes space.
    const QList<Backup> all = backupsNewestFirst(backups);
    for (qsizetype i = kBackupsKept; i < all.size(); ++i)
        backups.remove(all.at(i).name);
    return BackupOutcome{true, backupPath};
}
