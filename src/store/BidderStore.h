#pragma once

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

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
// An instance is one connection, opened on first use and closed when the instance goes: each
// window operation makes its own BidderStore and lets it go when it ends, so nothing is held
// open between operations. Every call reports failure by its return value and leaves a
// plain-words reason in lastError(); nothing it does half-way is left behind.
//
// User names compare and sort without regard to letter case (the columns are COLLATE NOCASE).
// Where several rows share a user name, the per-bidder calls act on the first one stored.
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
    bool open();

    // Every row, in the order they were stored, or ordered by one column (ties keep that order).
    std::optional<QList<Bidder>> readAll(std::optional<Order> order = std::nullopt);

    bool add(const Bidder &bidder);
    // Deletes every row of that user name.
    bool removeUser(const QString &userName);
    // The first stored row of that user name; an empty optional inside when there is none.
    std::optional<std::optional<Bidder>> findFirst(const QString &userName);
    // Change the first stored row of that user name; *matched tells whether there was one.
    bool updateFirst(const QString &userName, const QString &dateTime, const QString &reason, bool *matched);
    bool setNaruOfFirst(const QString &userName, const QString &naru, bool *matched);
    // Replaces the whole table with these rows in one transaction: all of them, or nothing changes.
    bool replaceAll(const QList<Bidder> &bidders);

    const QString &filePath() const { return m_filePath; }
    const QString &lastError() const { return m_lastError; }

private:
    bool fail(const QString &what, const QString &why);
    bool refuseFile(const QString &what);
    bool checkFileKind();
    bool checkSchema();
    bool exec(const QString &what, const QString &sql, const QVariantList &values = {}, int *rowsAffected = nullptr);
    bool updateFirstRow(const QString &userName, const QString &assignments, const QVariantList &values, bool *matched);

    QHash<QString, QSqlQuery> m_statements;
    QString m_filePath;
    QString m_connectionName;
    QString m_lastError;
    bool m_open = false;
};
