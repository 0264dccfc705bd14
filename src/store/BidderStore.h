// SPDX-License-Identifier: MIT
#pragma once

#include "store/Result.h"

#include <QList>
#include <QString>
#include <QStringList>
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
// User names compare and sort without regard to letter case (the columns are COLLATE NOCASE).
// Where several rows share a user name, reading and editing a record act on the first one stored;
// a NARU value and a delete go to all of them, since they are facts about the user id.
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

    Status add(const Bidder &bidder);
    // Deletes every row of that user name.
    Status removeUser(const QString &userName);
    // The first stored row of that user name, if there is one.
    Result<std::optional<Bidder>> findFirst(const QString &userName);
    // Change the first stored row of that user name; true when there was one.
    Result<bool> updateFirst(const QString &userName, const QString &dateTime, const QString &reason);
    // Sets the NARU value of every row of that user name; gives how many there were.
    Result<int> setNaru(const QString &userName, const QString &naru);
    // Replaces the whole table with these rows in one transaction: all of them, or nothing changes.
    Status replaceAll(const QList<Bidder> &bidders);

    const QString &filePath() const { return m_filePath; }

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
    Result<Query> query(const QString &sql, const QString &what);
    Result<int> run(const QString &sql, const QStringList &values, const QString &what);

    QString m_filePath;
    std::unique_ptr<sqlite3, Closer> m_db;
    // A sweep runs the same statement for every bidder on one connection; each is prepared once.
    std::map<QString, std::unique_ptr<sqlite3_stmt, Closer>> m_statements;
};
