// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "BidderStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <sqlite3.h>

namespace {

// A new store gets both tables; one made before the site's list was kept has only Bidders, and
// gets SiteList the first time that list is written.
const char *const kCreateTables = "CREATE TABLE Bidders (UserName TEXT COLLATE NOCASE, NARU TEXT COLLATE NOCASE, "
                                  "dateTime TEXT COLLATE NOCASE, Reason TEXT COLLATE NOCASE); "
                                  "CREATE TABLE SiteList (UserName TEXT COLLATE NOCASE)";
const char *const kCreateSiteList = "CREATE TABLE IF NOT EXISTS SiteList (UserName TEXT COLLATE NOCASE)";
const QString kSelectColumns = QStringLiteral("SELECT UserName, NARU, dateTime, Reason, rowid FROM Bidders");
const QString kInsert = QStringLiteral("INSERT INTO Bidders (UserName, NARU, dateTime, Reason) VALUES (?, ?, ?, ?)");
// A table converted from another format may have been made without COLLATE NOCASE, so each
// statement that matches or orders text says it itself.
const QString kOfUser = QStringLiteral(" WHERE UserName = ? COLLATE NOCASE");
const QString kOfRecord = QStringLiteral(" WHERE rowid = CAST(? AS INTEGER) AND UserName = ? COLLATE NOCASE");

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

QString savingWhat(const QString &userName)
{
    return QStringLiteral("Bidwarden could not save the bidder \"%1\".").arg(userName);
}

} // namespace

void BidderStore::Closer::operator()(sqlite3 *db) const
{
    sqlite3_close(db);
}

void BidderStore::Closer::operator()(sqlite3_stmt *statement) const
{
    sqlite3_finalize(statement);
}

// One run of a prepared statement: binds its values, steps through its rows, and resets the
// statement when it goes, so that the next run starts clean.
class BidderStore::Query
{
public:
    explicit Query(sqlite3_stmt *statement) : m_statement(statement) {}
    Query(Query &&other) noexcept : m_statement(std::exchange(other.m_statement, nullptr)) {}
    Query &operator=(Query &&) = delete;
    ~Query()
    {
        if (m_statement) {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
        }
    }

    void bind(const QStringList &values)
    {
        for (int i = 0; i < values.size(); ++i) {
            const QByteArray utf8 = values.at(i).toUtf8();
            sqlite3_bind_text(m_statement, i + 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
    }
    int step() { return sqlite3_step(m_statement); }

    QString text(int column) const
    {
        // User ids and dates are almost always plain ASCII, which Latin-1 decoding copies far
        // faster than a UTF-8 decoder (measured at about three times). NULL, from some other
        // tool, reads as empty text.
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        const int size = sqlite3_column_bytes(m_statement, column);
        const bool ascii = std::all_of(bytes, bytes + size, [](char c) { return static_cast<signed char>(c) >= 0; });
        return ascii ? QString::fromLatin1(bytes, size) : QString::fromUtf8(bytes, size);
    }
    Bidder bidder() const { return Bidder{text(0), text(1), text(2), text(3), sqlite3_column_int64(m_statement, 4)}; }

private:
    sqlite3_stmt *m_statement;
};

BidderStore::BidderStore(QString filePath) : m_filePath(std::move(filePath)) {}

BidderStore::~BidderStore()
{
    m_statements.clear(); // every statement is finalised before the connection closes
}

Failure BidderStore::failure(const QString &what) const
{
    const QString why = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db.get())) : QString();
    return Failure{why.isEmpty() ? what : what + QStringLiteral("\n\n") + why};
}

Failure BidderStore::refusal(const QString &why) const
{
    return Failure{QStringLiteral("Bidwarden cannot use its list of blocked bidders, %1.\n\n%2 The file has been left "
                                  "as it is.")
                       .arg(QDir::toNativeSeparators(m_filePath), why)};
}

// Looks at the first bytes before SQLite touches the file, so that a file of another kind is
// reported for what it is and never written to.
Status BidderStore::checkFileKind()
{
    QFile file(m_filePath);
    if (!file.exists() || file.size() == 0)
        return Done{};
    if (!file.open(QIODevice::ReadOnly))
        return Failure{QStringLiteral("Bidwarden cannot read its list of blocked bidders, %1.\n\n%2")
                           .arg(QDir::toNativeSeparators(m_filePath), file.errorString())};
    const QByteArray head = file.read(32);
    if (head.startsWith(QByteArrayLiteral("SQLite format 3\0")))
        return Done{};
    const bool accessHeader = head.startsWith(QByteArrayLiteral("\x00\x01\x00\x00"));
    if (accessHeader && head.mid(4).startsWith("Standard Jet DB"))
        return refusal(QStringLiteral("It is a Microsoft Access database (Jet format), which this version of "
                                      "Bidwarden does not read."));
    if (accessHeader && head.mid(4).startsWith("Standard ACE DB"))
        return refusal(QStringLiteral("It is a Microsoft Access database (ACE format), which this version of "
                                      "Bidwarden does not read."));
    return refusal(QStringLiteral("It is not a database Bidwarden can read: it may be damaged, or belong to "
                                  "another program."));
}

Status BidderStore::checkSchema()
{
    const QString unreadable = QStringLiteral("It could not be read: %1.");
    QStringList tables;
    {
        auto listing = query(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'"), {});
        if (!listing)
            return refusal(unreadable.arg(QString::fromUtf8(sqlite3_errmsg(m_db.get()))));
        int step;
        while ((step = (*listing).step()) == SQLITE_ROW)
            tables << (*listing).text(0);
        if (step != SQLITE_DONE)
            return refusal(unreadable.arg(QString::fromUtf8(sqlite3_errmsg(m_db.get()))));
    }
    const bool hasBidders = tables.contains(QStringLiteral("Bidders"), Qt::CaseInsensitive);
    if (!hasBidders && !tables.isEmpty())
        return refusal(QStringLiteral("It is a database of another program: it has no Bidders table."));
    if (!hasBidders)
        return exec(kCreateTables, QStringLiteral("Bidwarden could not create its list of blocked bidders in %1.")
                                       .arg(QDir::toNativeSeparators(m_filePath)));

    auto columnsOf = [this](const QString &table) {
        QStringList columns;
        auto info = query(QStringLiteral("PRAGMA table_info(%1)").arg(table), {});
        if (info)
            while ((*info).step() == SQLITE_ROW)
                columns << (*info).text(1).toLower();
        return columns;
    };
    const QStringList columns = columnsOf(QStringLiteral("Bidders"));
    for (const char *needed : {"username", "naru", "datetime", "reason"}) {
        if (!columns.contains(QLatin1String(needed)))
            return refusal(QStringLiteral("Its Bidders table has no %1 column.").arg(QLatin1String(needed)));
    }
    if (tables.contains(QStringLiteral("SiteList"), Qt::CaseInsensitive) &&
        !columnsOf(QStringLiteral("SiteList")).contains(QStringLiteral("username")))
        return refusal(QStringLiteral("Its SiteList table has no username column."));
    return Done{};
}

Status BidderStore::open()
{
    if (m_db)
        return Done{};
    if (Status kind = checkFileKind(); !kind)
        return kind;

    const QString cannotOpen = QStringLiteral("Bidwarden cannot open its list of blocked bidders, %1.")
                                   .arg(QDir::toNativeSeparators(m_filePath));
    const QFileInfo info(m_filePath);
    if (!info.dir().exists())
        return Failure{cannotOpen +
                       QStringLiteral("\n\nThe folder %1 does not exist.").arg(QDir::toNativeSeparators(info.path()))};

    sqlite3 *raw = nullptr;
    const int opened = sqlite3_open_v2(QFile::encodeName(m_filePath).constData(), &raw,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    m_db.reset(raw);
    if (opened != SQLITE_OK) {
        const Failure failed = failure(cannotOpen);
        m_db.reset();
        return failed;
    }
    sqlite3_busy_timeout(m_db.get(), 5000);

    // Every row is saved in a transaction of its own. With write-ahead logging and NORMAL syncing
    // a saved row survives the program crashing or being killed, and the file is never left
    // damaged; a power cut may lose only the last moments' saves. Syncing every commit (FULL)
    // made a sweep over 1,000 bidders several times slower, waiting on the disk.
    // The index keeps the per-bidder lookups of a sweep over thousands of rows from scanning the
    // whole table for each one. Memory-mapped reads halved the time to read the whole list.
    Status ready = checkSchema();
    if (ready)
        ready = exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA mmap_size=268435456; "
                     "CREATE INDEX IF NOT EXISTS BiddersByUserName ON Bidders (UserName COLLATE NOCASE)",
                     cannotOpen);
    if (!ready) {
        m_statements.clear();
        m_db.reset();
    }
    return ready;
}

Status BidderStore::exec(const char *sql, const QString &what)
{
    if (sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) != SQLITE_OK)
        return failure(what);
    return Done{};
}

Result<BidderStore::Query> BidderStore::query(const QString &sql, const QString &what)
{
    auto statement = m_statements.find(sql);
    if (statement == m_statements.end()) {
        sqlite3_stmt *prepared = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (sqlite3_prepare_v2(m_db.get(), utf8.constData(), int(utf8.size()), &prepared, nullptr) != SQLITE_OK)
            return failure(what);
        statement = m_statements.emplace(sql, prepared).first;
    }
    return Query(statement->second.get());
}

Result<int> BidderStore::run(const QString &sql, const QStringList &values, const QString &what)
{
    if (Status opened = open(); !opened)
        return Failure{opened.error()};
    auto statement = query(sql, what);
    if (!statement)
        return Failure{statement.error()};
    (*statement).bind(values);
    if ((*statement).step() != SQLITE_DONE)
        return failure(what);
    return sqlite3_changes(m_db.get());
}

Result<QList<Bidder>> BidderStore::readAll(std::optional<Order> order)
{
    if (Status opened = open(); !opened)
        return Failure{opened.error()};
    QString sql = kSelectColumns;
    if (order)
        sql += QStringLiteral(" ORDER BY %1 COLLATE NOCASE%2, rowid")
                   .arg(columnName(order->column), order->descending ? QStringLiteral(" DESC") : QString());
    else
        sql += QStringLiteral(" ORDER BY rowid");

    const QString what = QStringLiteral("Bidwarden could not read the list of blocked bidders.");
    auto rows = query(sql, what);
    if (!rows)
        return Failure{rows.error()};
    QList<Bidder> bidders;
    int step;
    while ((step = (*rows).step()) == SQLITE_ROW)
        bidders.append((*rows).bidder());
    if (step != SQLITE_DONE)
        return failure(what);
    return bidders;
}

Result<qint64> BidderStore::add(const Bidder &bidder)
{
    const auto added =
        run(kInsert, {bidder.userName, bidder.naru, bidder.dateTime, bidder.reason}, savingWhat(bidder.userName));
    if (!added)
        return Failure{added.error()};
    return sqlite3_last_insert_rowid(m_db.get());
}

Status BidderStore::removeUser(const QString &userName)
{
    const auto removed = run(QStringLiteral("DELETE FROM Bidders") + kOfUser, {userName},
                             QStringLiteral("Bidwarden could not delete the bidder \"%1\".").arg(userName));
    return removed ? Status(Done{}) : Failure{removed.error()};
}

Result<std::optional<Bidder>> BidderStore::record(qint64 rowid, const QString &userName)
{
    if (Status opened = open(); !opened)
        return Failure{opened.error()};
    const QString what = QStringLiteral("Bidwarden could not read the bidder \"%1\".").arg(userName);
    auto found = query(kSelectColumns + kOfRecord, what);
    if (!found)
        return Failure{found.error()};
    (*found).bind({QString::number(rowid), userName});
    switch ((*found).step()) {
    case SQLITE_ROW:
        return std::optional<Bidder>((*found).bidder());
    case SQLITE_DONE:
        return std::optional<Bidder>();
    default:
        return failure(what);
    }
}

Result<bool> BidderStore::updateRecord(qint64 rowid, const QString &userName, const QString &dateTime,
                                       const QString &reason)
{
    const auto changed = run(QStringLiteral("UPDATE Bidders SET dateTime = ?, Reason = ?") + kOfRecord,
                             {dateTime, reason, QString::number(rowid), userName}, savingWhat(userName));
    if (!changed)
        return Failure{changed.error()};
    return *changed > 0;
}

Result<int> BidderStore::setNaru(const QString &userName, const QString &naru)
{
    return run(QStringLiteral("UPDATE Bidders SET NARU = ?") + kOfUser, {naru, userName}, savingWhat(userName));
}

Status BidderStore::inTransaction(const QString &what, const std::function<Status()> &work)
{
    if (Status opened = open(); !opened)
        return opened;
    if (Status began = exec("BEGIN IMMEDIATE", what); !began)
        return began;
    Status done = work();
    if (done)
        done = exec("COMMIT", what);
    if (!done)
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    return done;
}

Status BidderStore::writeSiteBase(const QStringList &ids, const QString &what)
{
    if (Status made = exec(kCreateSiteList, what); !made)
        return made;
    if (const auto cleared = run(QStringLiteral("DELETE FROM SiteList"), {}, what); !cleared)
        return Failure{cleared.error()};
    for (const QString &id : ids) {
        if (const auto added = run(QStringLiteral("INSERT INTO SiteList (UserName) VALUES (?)"), {id}, what); !added)
            return Failure{added.error()};
    }
    return Done{};
}

Result<QList<Bidder>> BidderStore::replaceAll(const QList<Bidder> &bidders, std::optional<QStringList> siteBase)
{
    const QString what = QStringLiteral("Bidwarden could not replace the list of blocked bidders.");
    QList<Bidder> stored = bidders;
    // Every statement is checked as it runs: a failed one ends the transaction there.
    const Status replaced = inTransaction(what, [&]() -> Status {
        if (const auto cleared = run(QStringLiteral("DELETE FROM Bidders"), {}, what); !cleared)
            return Failure{cleared.error()};
        for (Bidder &b : stored) {
            if (const auto added = run(kInsert, {b.userName, b.naru, b.dateTime, b.reason}, what); !added)
                return Failure{added.error()};
            b.rowid = sqlite3_last_insert_rowid(m_db.get());
        }
        return siteBase ? writeSiteBase(*siteBase, what) : Status(Done{});
    });
    if (!replaced)
        return Failure{replaced.error()};
    return stored;
}

Result<std::optional<QStringList>> BidderStore::siteBase()
{
    if (Status opened = open(); !opened)
        return Failure{opened.error()};
    const QString what = QStringLiteral("Bidwarden could not read the list the site last confirmed.");
    {
        auto listed = query(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = "
                                           "'SiteList' COLLATE NOCASE"),
                            what);
        if (!listed)
            return Failure{listed.error()};
        if ((*listed).step() != SQLITE_ROW)
            return failure(what);
        if ((*listed).text(0) == QLatin1String("0"))
            return std::optional<QStringList>();
    }
    auto rows = query(QStringLiteral("SELECT UserName FROM SiteList ORDER BY rowid"), what);
    if (!rows)
        return Failure{rows.error()};
    QStringList ids;
    int step;
    while ((step = (*rows).step()) == SQLITE_ROW)
        ids << (*rows).text(0);
    if (step != SQLITE_DONE)
        return failure(what);
    return std::optional<QStringList>(ids);
}

Status BidderStore::setSiteBase(const QStringList &ids)
{
    const QString what = QStringLiteral("Bidwarden could not keep the list the site last confirmed.");
    return inTransaction(what, [&] { return writeSiteBase(ids, what); });
}
