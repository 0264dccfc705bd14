#include "BidderStore.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <memory>
#include <sqlite3.h>

namespace {

const QString kCreateTable = QStringLiteral("CREATE TABLE Bidders (UserName TEXT COLLATE NOCASE, "
                                            "NARU TEXT COLLATE NOCASE, dateTime TEXT COLLATE NOCASE, "
                                            "Reason TEXT COLLATE NOCASE)");
const QString kSelectColumns = QStringLiteral("SELECT UserName, NARU, dateTime, Reason FROM Bidders");
// The first stored row of a user name: rowid order is the order the rows were added in.
const QString kFirstRowOf = QStringLiteral("SELECT rowid FROM Bidders WHERE UserName = ? ORDER BY rowid LIMIT 1");

QString columnName(BidderStore::Column column)
{
    switch (column) {
    case BidderStore::Column::UserName:
        return QStringLiteral("UserName");
    case BidderStore::Column::Naru:
        return QStringLiteral("NARU");
    case BidderStore::Column::DateTime:
        return QStringLiteral("dateTime");
    case BidderStore::Column::Reason:
        return QStringLiteral("Reason");
    }
    return {};
}

Bidder bidderAt(const QSqlQuery &query)
{
    // A value stored as NULL by some other tool reads as empty text.
    return Bidder{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                  query.value(3).toString()};
}

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("bidwarden-store-%1").arg(counter.fetchAndAddRelaxed(1));
}

} // namespace

BidderStore::BidderStore(QString filePath) : m_filePath(std::move(filePath)), m_connectionName(nextConnectionName()) {}

BidderStore::~BidderStore()
{
    m_statements.clear();
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool BidderStore::fail(const QString &what, const QString &why)
{
    m_lastError = why.isEmpty() ? what : what + QStringLiteral("\n\n") + why;
    return false;
}

bool BidderStore::refuseFile(const QString &what)
{
    m_open = false;
    return fail(QStringLiteral("Bidwarden cannot use its list of blocked bidders, %1.")
                    .arg(QDir::toNativeSeparators(m_filePath)),
                what + QStringLiteral(" The file has been left as it is."));
}

// Looks at the first bytes before SQLite touches the file, so that a file of another kind is
// reported for what it is and never written to.
bool BidderStore::checkFileKind()
{
    QFile file(m_filePath);
    if (!file.exists() || file.size() == 0)
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Bidwarden cannot read its list of blocked bidders, %1.")
                        .arg(QDir::toNativeSeparators(m_filePath)),
                    file.errorString());
    const QByteArray head = file.read(32);
    if (head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return true;
    const bool accessHeader = head.startsWith(QByteArrayLiteral("\x00\x01\x00\x00"));
    if (accessHeader && head.mid(4).startsWith("Standard Jet DB"))
        return refuseFile(QStringLiteral("It is a Microsoft Access database (Jet format), which this version of "
                                         "Bidwarden does not read."));
    if (accessHeader && head.mid(4).startsWith("Standard ACE DB"))
        return refuseFile(QStringLiteral("It is a Microsoft Access database (ACE format), which this version of "
                                         "Bidwarden does not read."));
    return refuseFile(QStringLiteral("It is not a database Bidwarden can read: it may be damaged, or belong to "
                                     "another program."));
}

bool BidderStore::checkSchema()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
        return refuseFile(QStringLiteral("It could not be read: %1.").arg(query.lastError().text()));
    QStringList tables;
    while (query.next())
        tables << query.value(0).toString();
    const bool hasBidders = tables.contains(QStringLiteral("Bidders"), Qt::CaseInsensitive);
    if (!hasBidders && !tables.isEmpty())
        return refuseFile(QStringLiteral("It is a database of another program: it has no Bidders table."));
    if (!hasBidders)
        return exec(QStringLiteral("Bidwarden could not create its list of blocked bidders in %1.")
                        .arg(QDir::toNativeSeparators(m_filePath)),
                    kCreateTable);

    if (!query.exec(QStringLiteral("PRAGMA table_info(Bidders)")))
        return refuseFile(QStringLiteral("It could not be read: %1.").arg(query.lastError().text()));
    QStringList columns;
    while (query.next())
        columns << query.value(1).toString().toLower();
    for (const char *needed : {"username", "naru", "datetime", "reason"}) {
        if (!columns.contains(QLatin1String(needed)))
            return refuseFile(QStringLiteral("Its Bidders table has no %1 column.").arg(QLatin1String(needed)));
    }
    return true;
}

bool BidderStore::open()
{
    if (m_open)
        return true;
    if (!checkFileKind())
        return false;

    const QFileInfo info(m_filePath);
    if (!info.dir().exists())
        return fail(QStringLiteral("Bidwarden cannot open its list of blocked bidders, %1.")
                        .arg(QDir::toNativeSeparators(m_filePath)),
                    QStringLiteral("The folder %1 does not exist.").arg(QDir::toNativeSeparators(info.path())));

    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(m_filePath);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open())
        return fail(QStringLiteral("Bidwarden cannot open its list of blocked bidders, %1.")
                        .arg(QDir::toNativeSeparators(m_filePath)),
                    db.lastError().text());
    m_open = true;
    if (!checkSchema()) {
        db.close();
        m_open = false;
        return false;
    }

    // Every row is saved in a transaction of its own. With write-ahead logging and NORMAL syncing
    // a saved row survives the program crashing or being killed, and the file is never left
    // damaged; a power cut may lose only the last moments' saves. Syncing every commit (FULL)
    // made a sweep over 1,000 bidders several times slower, waiting on the disk.
    // The index keeps the per-bidder lookups of a sweep over thousands of rows from scanning the
    // whole table for each one.
    QSqlQuery pragma(db);
    if (!pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL")) ||
        !pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL")) ||
        !pragma.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS BiddersByUserName ON Bidders (UserName)"))) {
        db.close();
        m_open = false;
        return fail(QStringLiteral("Bidwarden cannot open its list of blocked bidders, %1.")
                        .arg(QDir::toNativeSeparators(m_filePath)),
                    pragma.lastError().text());
    }
    return true;
}

bool BidderStore::exec(const QString &what, const QString &sql, const QVariantList &values, int *rowsAffected)
{
    // A sweep runs the same statement for every bidder on one connection; it is prepared once.
    auto statement = m_statements.find(sql);
    if (statement == m_statements.end()) {
        QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
        if (!query.prepare(sql))
            return fail(what, query.lastError().text());
        statement = m_statements.insert(sql, query);
    }
    QSqlQuery &query = statement.value();
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    const bool ok = query.exec();
    if (ok && rowsAffected)
        *rowsAffected = query.numRowsAffected();
    if (!ok)
        fail(what, query.lastError().text());
    query.finish();
    return ok;
}

std::optional<QList<Bidder>> BidderStore::readAll(std::optional<Order> order)
{
    if (!open())
        return std::nullopt;
    QString sql = kSelectColumns;
    if (order)
        sql += QStringLiteral(" ORDER BY %1%2, rowid")
                   .arg(columnName(order->column), order->descending ? QStringLiteral(" DESC") : QString());
    else
        sql += QStringLiteral(" ORDER BY rowid");

    // The whole list is read on every load and header click, so this one statement goes to SQLite
    // directly, on a read-only connection of its own: through QSqlQuery each value cost more than
    // showing it in the list. (The Qt driver's own handle is not borrowed: the driver may carry an
    // SQLite of its own.)
    const QString what = QStringLiteral("Bidwarden could not read the list of blocked bidders.");
    sqlite3 *raw = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(m_filePath).constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
    const std::unique_ptr<sqlite3, int (*)(sqlite3 *)> db(raw, sqlite3_close);
    if (opened != SQLITE_OK) {
        fail(what, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(opened)));
        return std::nullopt;
    }
    sqlite3_busy_timeout(db.get(), 5000);
    // Memory-mapped reads spare each new connection from copying every page in again: they halved
    // the time to read the whole list.
    sqlite3_exec(db.get(), "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    sqlite3_stmt *statement = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(db.get(), utf8.constData(), int(utf8.size()), &statement, nullptr) != SQLITE_OK) {
        fail(what, QString::fromUtf8(sqlite3_errmsg(db.get())));
        return std::nullopt;
    }
    auto text = [statement](int column) {
        // User ids and dates are almost always plain ASCII, which Latin-1 decoding copies far
        // faster than a UTF-8 decoder (measured at about three times).
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
        const int size = sqlite3_column_bytes(statement, column);
        const bool ascii = std::all_of(bytes, bytes + size, [](char c) { return static_cast<signed char>(c) >= 0; });
        return ascii ? QString::fromLatin1(bytes, size) : QString::fromUtf8(bytes, size);
    };
    QList<Bidder> bidders;
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW)
        bidders.append(Bidder{text(0), text(1), text(2), text(3)});
    sqlite3_finalize(statement);
    if (step != SQLITE_DONE) {
        fail(what, QString::fromUtf8(sqlite3_errstr(step)));
        return std::nullopt;
    }
    return bidders;
}

bool BidderStore::add(const Bidder &bidder)
{
    return open() && exec(QStringLiteral("Bidwarden could not save the bidder \"%1\".").arg(bidder.userName),
                          QStringLiteral("INSERT INTO Bidders (UserName, NARU, dateTime, Reason) VALUES (?, ?, ?, ?)"),
                          {bidder.userName, bidder.naru, bidder.dateTime, bidder.reason});
}

bool BidderStore::removeUser(const QString &userName)
{
    return open() && exec(QStringLiteral("Bidwarden could not delete the bidder \"%1\".").arg(userName),
                          QStringLiteral("DELETE FROM Bidders WHERE UserName = ?"), {userName});
}

std::optional<std::optional<Bidder>> BidderStore::findFirst(const QString &userName)
{
    if (!open())
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    const QString what = QStringLiteral("Bidwarden could not read the bidder \"%1\".").arg(userName);
    if (!query.prepare(kSelectColumns + QStringLiteral(" WHERE UserName = ? ORDER BY rowid LIMIT 1"))) {
        fail(what, query.lastError().text());
        return std::nullopt;
    }
    query.addBindValue(userName);
    if (!query.exec()) {
        fail(what, query.lastError().text());
        return std::nullopt;
    }
    if (!query.next()) {
        if (query.lastError().isValid()) {
            fail(what, query.lastError().text());
            return std::nullopt;
        }
        return std::optional<Bidder>();
    }
    return std::optional<Bidder>(bidderAt(query));
}

bool BidderStore::updateFirstRow(const QString &userName, const QString &assignments, const QVariantList &values,
                                 bool *matched)
{
    if (!open())
        return false;
    int rows = 0;
    QVariantList bound = values;
    bound << userName;
    if (!exec(QStringLiteral("Bidwarden could not save the bidder \"%1\".").arg(userName),
              QStringLiteral("UPDATE Bidders SET %1 WHERE rowid = (%2)").arg(assignments, kFirstRowOf), bound, &rows))
        return false;
    if (matched)
        *matched = rows > 0;
    return true;
}

bool BidderStore::updateFirst(const QString &userName, const QString &dateTime, const QString &reason, bool *matched)
{
    return updateFirstRow(userName, QStringLiteral("dateTime = ?, Reason = ?"), {dateTime, reason}, matched);
}

bool BidderStore::setNaruOfFirst(const QString &userName, const QString &naru, bool *matched)
{
    return updateFirstRow(userName, QStringLiteral("NARU = ?"), {naru}, matched);
}

bool BidderStore::replaceAll(const QList<Bidder> &bidders)
{
    if (!open())
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    const QString what = QStringLiteral("Bidwarden could not replace the list of blocked bidders.");
    if (!db.transaction())
        return fail(what, db.lastError().text());
    QSqlQuery insert(db);
    bool ok = exec(what, QStringLiteral("DELETE FROM Bidders"));
    if (ok &&
        !insert.prepare(QStringLiteral("INSERT INTO Bidders (UserName, NARU, dateTime, Reason) VALUES (?, ?, ?, ?)")))
        ok = fail(what, insert.lastError().text());
    for (qsizetype i = 0; ok && i < bidders.size(); ++i) {
        const Bidder &b = bidders.at(i);
        insert.bindValue(0, b.userName);
        insert.bindValue(1, b.naru);
        insert.bindValue(2, b.dateTime);
        insert.bindValue(3, b.reason);
        ok = insert.exec();
        if (!ok)
            fail(what, insert.lastError().text());
    }
    if (ok && !db.commit())
        ok = fail(what, db.lastError().text());
    if (!ok)
        db.rollback();
    return ok;
}
