// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "core/BidderTableModel.h"
#include "store/BidderStore.h"
#include "store/DateTimeText.h"

#include <QObject>
#include <QStringList>
#include <memory>

// The value the NARU column holds: "Yes" when the site says the id is not a registered user.
QString NaruValue(bool naru);

// The seller's list as the program shows it: the stored bidders in display order, and the order
// of the last header click. It is the only writer of bidders. Every change goes to the store
// first and to the rows only once the store has taken it, so the two never disagree; a failed
// change leaves both as they were and says why.
//
// Rows are numbered from 0 here. Each change is announced through model(), before and after it
// is made, so a view redraws only what changed.
class BidderList : public QObject
{
    Q_OBJECT

public:
    explicit BidderList(QString storePath, QObject *parent = nullptr);
    ~BidderList() override;

    const QString &storePath() const { return m_storePath; }
    int count() const { return int(m_rows.size()); }
    const Bidder &at(int row) const { return m_rows.at(row); }
    const QList<Bidder> &rows() const { return m_rows; }
    QStringList userNames() const;

    // The rows as a table, for a view; it signals every change of the rows.
    BidderTableModel &model() { return m_model; }
    // The column the last header click sorted, and whether descending; none since a load.
    std::optional<BidderStore::Order> sortOrder() const { return m_sortOrder; }

    // Reads every row in the order stored and forgets the sort order. When that fails the list
    // holds no rows, as the view then shows none, and is not loaded until a read succeeds.
    Status load();
    // A click on this column's header: sorts by it, descending only when the last sort was this
    // column ascending, else ascending. A sort that fails leaves the rows and the order as they
    // were; one that succeeds is a load too.
    Status sortBy(BidderStore::Column column);
    // True once the rows have been read from the store (or replaced), and since.
    bool isLoaded() const { return m_loaded; }

    // The record of a bidder blocked now: what Block Bidder, the import and Keep them store. The
    // date is now's unless given (an import of thousands reads the clock once a second).
    static Bidder block(const QString &userId, bool naru, const QString &reason,
                        const QString &dateTime = DateTimeText());

    // Appends a new bidder after the last row, whatever the sort; refused while not loaded.
    Status add(const Bidder &bidder);
    // The NARU value of the row's user id, in every row of it, stored and shown; false when the
    // user id has no stored row left (nothing then changes: nothing is shown as saved that was not).
    Result<bool> setNaru(int row, bool naru);
    // The row's date and reason, in the row's own record; false when that record is gone
    // (nothing then changes).
    Result<bool> setDateAndReason(int row, const QString &dateTime, const QString &reason);
    // Removes the row's user id: every row of it, stored and shown.
    Status remove(int row);
    // The whole list, stored and shown, becomes these rows, in one transaction; with a siteBase,
    // the site's list as last confirmed is replaced in that same transaction.
    Status replaceAll(const QList<Bidder> &bidders, std::optional<QStringList> siteBase = std::nullopt);
    // The site's list as last confirmed (after an import, or a save whose read-back matched); none
    // in a store that has never recorded one. Saving to the site is a sync against it. Only this
    // list writes it, so it is read from the store once and then kept, until the rows are read again.
    Result<std::optional<QStringList>> siteBase();
    Status setSiteBase(const QStringList &ids);

    // The row's record, as the store holds it now; none when it is gone.
    Result<std::optional<Bidder>> storedRecord(int row);

    // Opens the store now: tells early whether it can be used at all.
    Status check();

    // While a Session lives, the list's changes share one store connection instead of opening
    // one each, for jobs that change many rows one by one.
    class [[nodiscard]] Session
    {
    public:
        explicit Session(BidderList &list);
        ~Session();
        Session(const Session &) = delete;
        Session &operator=(const Session &) = delete;

    private:
        BidderList &m_list;
    };

private:
    // The connection for one change: the session's, or a fresh one that closes with `Use`.
    class Use;
    Status read(std::optional<BidderStore::Order> order);
    void rowChanged(int row, BidderStore::Column first, BidderStore::Column last);
    // The rows of that user name as the store matches names, from the last to the first.
    QList<int> rowsOfUser(const QString &userName) const;

    QString m_storePath;
    QList<Bidder> m_rows;
    std::optional<BidderStore::Order> m_sortOrder;
    BidderTableModel m_model{*this};
    bool m_loaded = false;
    std::optional<std::optional<QStringList>> m_siteBase; // once read or written
    std::unique_ptr<BidderStore> m_store;
    int m_sessions = 0;
};
