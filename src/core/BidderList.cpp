// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "core/BidderList.h"

#include <algorithm>

namespace {

// Equal as the store compares user names: SQLite's NOCASE folds the ASCII letters only.
bool sameUserName(const QString &a, const QString &b)
{
    auto fold = [](QChar c) { return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + 32) : c; };
    return a.size() == b.size() &&
           std::equal(a.cbegin(), a.cend(), b.cbegin(), [&](QChar x, QChar y) { return fold(x) == fold(y); });
}

} // namespace

QString NaruValue(bool naru)
{
    return naru ? QStringLiteral("Yes") : QStringLiteral("No");
}

Bidder BidderList::block(const QString &userId, bool naru, const QString &reason, const QString &dateTime)
{
    return Bidder{userId, NaruValue(naru), dateTime, reason};
}

BidderList::BidderList(QString storePath, QObject *parent) : QObject(parent), m_storePath(std::move(storePath)) {}

BidderList::~BidderList() = default;

BidderList::Session::Session(BidderList &list) : m_list(list)
{
    if (m_list.m_sessions++ == 0)
        m_list.m_store = std::make_unique<BidderStore>(m_list.m_storePath);
}

BidderList::Session::~Session()
{
    if (--m_list.m_sessions == 0)
        m_list.m_store.reset();
}

QStringList BidderList::userNames() const
{
    QStringList names;
    names.reserve(m_rows.size());
    for (const Bidder &bidder : m_rows)
        names << bidder.userName;
    return names;
}

Status BidderList::check()
{
    Session session(*this);
    return m_store->open();
}

Result<std::optional<Bidder>> BidderList::storedRecord(int row)
{
    Session session(*this);
    return m_store->record(m_rows.at(row).rowid, m_rows.at(row).userName);
}

Status BidderList::read(std::optional<BidderStore::Order> order)
{
    Session session(*this);
    m_siteBase.reset();
    auto rows = m_store->readAll(order);
    // Drawn afresh either way, so that the view shows exactly what the list holds.
    m_model.beginResetModel();
    if (rows) {
        m_rows = std::move(*rows);
        m_sortOrder = order;
        m_loaded = true;
    } else if (!order) {
        // The view shows no rows after a failed load, so the list holds none: nothing may act on
        // rows the user cannot see.
        m_rows.clear();
        m_sortOrder.reset();
        m_loaded = false;
    }
    m_model.endResetModel();
    return rows ? Status(Done{}) : Status(Failure{rows.error()});
}

Status BidderList::load()
{
    return read(std::nullopt);
}

Status BidderList::sortBy(BidderStore::Column column)
{
    const bool descending = m_sortOrder && m_sortOrder->column == column && !m_sortOrder->descending;
    return read(BidderStore::Order{column, descending});
}

Status BidderList::add(const Bidder &bidder)
{
    // Unread, the list would show the new row alone while the store holds the others too.
    if (!m_loaded)
        return Failure{QStringLiteral("Bidwarden has not read your list of blocked bidders, so \"%1\" was not added.")
                           .arg(bidder.userName)};
    Session session(*this);
    const Result<qint64> added = m_store->add(bidder);
    if (!added)
        return Failure{added.error()};
    m_model.beginInsertRows({}, count(), count());
    m_rows.append(bidder);
    m_rows.last().rowid = *added;
    m_model.endInsertRows();
    return Done{};
}

QList<int> BidderList::rowsOfUser(const QString &userName) const
{
    QList<int> rows;
    for (int row = count() - 1; row >= 0; --row)
        if (sameUserName(m_rows.at(row).userName, userName))
            rows << row;
    return rows;
}

Result<bool> BidderList::setNaru(int row, bool naru)
{
    Session session(*this);
    const QString value = NaruValue(naru);
    const QString userName = m_rows.at(row).userName;
    const auto saved = m_store->setNaru(userName, value);
    if (!saved)
        return Failure{saved.error()};
    // The rows shown are the rows stored, so only a name stored twice needs looking for again.
    for (int same : *saved > 1 ? rowsOfUser(userName) : *saved == 1 ? QList<int>{row} : QList<int>{}) {
        // A sweep sets every row, mostly to the value it had: an unchanged row is not redrawn.
        if (m_rows.at(same).naru == value)
            continue;
        m_rows[same].naru = value;
        rowChanged(same, BidderStore::Column::Naru, BidderStore::Column::Naru);
    }
    return *saved > 0;
}

Result<bool> BidderList::setDateAndReason(int row, const QString &dateTime, const QString &reason)
{
    Session session(*this);
    auto saved = m_store->updateRecord(m_rows.at(row).rowid, m_rows.at(row).userName, dateTime, reason);
    if (saved && *saved) {
        m_rows[row].dateTime = dateTime;
        m_rows[row].reason = reason;
        rowChanged(row, BidderStore::Column::DateTime, BidderStore::Column::Reason);
    }
    return saved;
}

Status BidderList::remove(int row)
{
    Session session(*this);
    const QString userName = m_rows.at(row).userName;
    if (Status gone = m_store->removeUser(userName); !gone)
        return gone;
    for (int same : rowsOfUser(userName)) {
        m_model.beginRemoveRows({}, same, same);
        m_rows.removeAt(same);
        m_model.endRemoveRows();
    }
    return Done{};
}

void BidderList::rowChanged(int row, BidderStore::Column first, BidderStore::Column last)
{
    const int from = BidderTableModel::sectionOf(first), to = BidderTableModel::sectionOf(last);
    emit m_model.dataChanged(m_model.index(row, std::min(from, to)), m_model.index(row, std::max(from, to)),
                             {Qt::DisplayRole});
}

Status BidderList::replaceAll(const QList<Bidder> &bidders, std::optional<QStringList> siteBase)
{
    Session session(*this);
    const bool baseGiven = siteBase.has_value();
    if (baseGiven)
        m_siteBase.reset(); // kept again only once it is stored
    auto replaced = m_store->replaceAll(bidders, siteBase);
    if (!replaced)
        return Failure{replaced.error()};
    if (baseGiven)
        m_siteBase = std::move(siteBase);
    m_model.beginResetModel();
    m_rows = std::move(*replaced);
    m_loaded = true;
    m_model.endResetModel();
    return Done{};
}

Result<std::optional<QStringList>> BidderList::siteBase()
{
    if (m_siteBase)
        return *m_siteBase;
    Session session(*this);
    auto base = m_store->siteBase();
    if (base)
        m_siteBase = *base;
    return base;
}

Status BidderList::setSiteBase(const QStringList &ids)
{
    Session session(*this);
    m_siteBase.reset();
    Status set = m_store->setSiteBase(ids);
    if (set)
        m_siteBase = ids;
    return set;
}
