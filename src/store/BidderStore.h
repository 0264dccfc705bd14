// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/Result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>

struct sqlite3;
struct sqlite3_stmt;

// One blocked bidder, one row of the Bidders table. All four values are text.
struct Bidder
{
    QString userName;
    QString naru;
    QString dateTime;
    QString reason;
    // Which stored row this is, so that two rows of one user name are told apart; 0 until stored.
    qint64 rowid = 0;

    // The same texts; where the row is stored is not part of what it says.
    bool operator==(const Bidder &other) const
    {
        return userName == other.userName && naru == other.naru && dateTime == other.dateTime && reason == other.reason;
    }
};

Q_DECLARE_TYPEINFO(Bidder, Q_RELOCATABLE_TYPE);

// The seller's list of blocked bidders in bidders.mdb, an SQLite file beside the program.
//
// An instance is one connection, opened on first use and closed when the instance goes, so a
// caller decides how long a connection lives. Every call gives back a result that carries its
// failure in plain words; nothing a failed call did half-way is left behind.
//
// Text compares and sorts without regard to letter case, whatever collation the file's table
// was made with: every statement says so itself, and the table is never altered. A record is
// read and edited by its rowid, so that of two rows of one user name the one meant is changed;
// a NARU value and a delete go to every row of the name, since they are facts about the user id.
class BidderStore
{
public:
    enum class Column
    {
        UserName,
        Naru,
        DateTime,
        Reason
    };
    struct Order
    {
        Column column = Column::UserName;
        bool descending = false;
    };

    static constexpr const char *FileName = "bidders.mdb";
    // The reason the wizard gives each row it imports from the site.
    static constexpr const char *ImportReason = "Auto Added by Wizard";

    explicit BidderStore(QString filePath);
    ~BidderStore();
    BidderStore(const BidderStore &) = delete;
    BidderStore &operator=(const BidderStore &) = delete;

    // Opens the file, creating it and the table when they are missing. A file that is not a
    // usable bidder database (an Access .mdb, another program's SQLite file, a damaged file) is
    // refused and never written to. The other calls open the store themselves when needed.
    Status open();

    // Every row, in the order they were stored, or ordered by one column (ties keep that order).
    Result<QList<Bidder>> readAll(std::optional<Order> order = std::nullopt);

    // Stores a new row; gives its rowid.
    Result<qint64> add(const Bidder &bidder);
    // Deletes every row of that user name.
    Status removeUser(const QString &userName);
    // The row stored under that rowid, if it is still there and still of that user name.
    Result<std::optional<Bidder>> record(qint64 rowid, const QString &userName);
    // Changes that row; false when it is gone (nothing then changes).
    Result<bool> updateRecord(qint64 rowid, const QString &userName, const QString &dateTime, const QString &reason);
    // Sets the NARU value of every row of that user name; gives how many there were.
    Result<int> setNaru(const QString &userName, const QString &naru);
    // Replaces the whole table with these rows in one transaction: all of them, or nothing changes.
    // Gives the rows as stored, with their rowids. With a siteBase, the site's list as last
    // confirmed is replaced in the same transaction.
    Result<QList<Bidder>> replaceAll(const QList<Bidder> &bidders, std::optional<QStringList> siteBase = std::nullopt);

    // The site's list as last confirmed, in the order it was given; none in a store made before
    // the program kept it. Reading never adds the table.
    Result<std::optional<QStringList>> siteBase();
    // Replaces the site's list as last confirmed, in one transaction.
    Status setSiteBase(const QStringList &ids);

private:
    struct Closer
    {
        void operator()(sqlite3 *db) const;
        void operator()(sqlite3_stmt *statement) const;
    };
    class Query;

    Failure refusal(const QString &why) const;
    Failure failure(const QString &what) const;
    Status checkFileKind();
    Status checkSchema();
    Status exec(const char *sql, const QString &what);
    Status writeSiteBase(const QStringList &ids, const QString &what);
    Status inTransaction(const QString &what, const std::function<Status()> &work);
    Result<Query> query(const QString &sql, const QString &what);
    Result<int> run(const QString &sql, const QStringList &values, const QString &what);

    QString m_filePath;
    std::unique_ptr<sqlite3, Closer> m_db;
    // A sweep runs the same statement for every bidder on one connection; each is prepared once.
    std::map<QString, std::unique_ptr<sqlite3_stmt, Closer>> m_statements;
};
