// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "core/BidderList.h"

#include <algorithm>

namespace {

struct SortChoice
{
    const char *header;
    const char *ascendingMarker;
    BidderStore::Column column;
};

// Header texts, the markers a sort leaves, and the column each orders, in the order the header
// text is matched.
const SortChoice kSortChoices[] = {
    {"UserName", "UserName", BidderStore::Column::UserName},
    {"NARU", "NARU", BidderStore::Column::Naru},
    {"Reason", "Reason", BidderStore::Column::Reason},
    {"Date Added", "dateTime", BidderStore::Column::DateTime},
};

const QLatin1String kDescending("DESC");

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

std::optional<BidderStore::Order> BidderList::sortOrder() const
{
    for (const SortChoice &choice : kSortChoices) {
        const QLatin1String ascending(choice.ascendingMarker);
        if (m_sortMarker == ascending)
            return BidderStore::Order{choice.column, false};
        if (m_sortMarker.startsWith(ascending) && m_sortMarker.mid(ascending.size()) == kDescending)
            return BidderStore::Order{choice.column, true};
    }
    return std::nullopt;
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

Status BidderList::read(std::optional<BidderStore::Order> order, const QString &marker)
{
    Session session(*this);
    auto rows = m_store->readAll(order);
    if (rows) {
        m_rows = std::move(*rows);
        m_sortMarker = marker;
        m_loaded = true;
    } else if (!order) {
        // The view shows no rows after a failed load, so the list holds none: nothing may act on
        // rows the user cannot see.
        m_rows.clear();
        m_sortMarker.clear();
        m_loaded = false;
    }
    // Drawn afresh either way, so that the view shows exactly what the list holds.
    emit reset();
    return rows ? Status(Done{}) : Status(Failure{rows.error()});
}

Status BidderList::load()
{
    return read(std::nullopt, QString());
}

Status BidderList::sortByHeader(const QString &header)
{
    for (const SortChoice &choice : kSortChoices) {
        if (header != QLatin1String(choice.header))
            continue;
        const QString ascending = QLatin1String(choice.ascendingMarker);
        const bool descending = m_sortMarker == ascending;
        return read(BidderStore::Order{choice.column, descending}, descending ? ascending + kDescending : ascending);
    }
    return Done{};
}

Status BidderList::add(const Bidder &bidder)
{
    // Unread, the list would show the new row alone while the store holds the others too.
    if (!m_loaded)
        return Failure{QStringLiteral("Bidwarden has not read your list of blocked bidders, so \"%1\" was not added. "
                                      "Click a column heading to read the list again.")
                           .arg(bidder.userName)};
    Session session(*this);
    const Result<qint64> added = m_store->add(bidder);
    if (!added)
        return Failure{added.error()};
    m_rows.append(bidder);
    m_rows.last().rowid = *added;
    emit appended(count() - 1);
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

Status BidderList::setNaru(int row, bool naru)
{
    Session session(*this);
    const QString value = NaruValue(naru);
    const QString userName = m_rows.at(row).userName;
    const auto saved = m_store->setNaru(userName, value);
    if (!saved)
        return Failure{saved.error()};
    if (*saved == 0)
        return Failure{QStringLiteral("Bidwarden has no stored record for \"%1\", so its NARU value was not saved. The "
                                      "list may be out of date: click a column heading to read it again.")
                           .arg(userName)};
    // The rows shown are the rows stored, so only a name stored twice needs looking for again.
    for (int same : *saved > 1 ? rowsOfUser(userName) : QList<int>{row}) {
        m_rows[same].naru = value;
        emit changed(same);
    }
    return Done{};
}

Result<bool> BidderList::setDateAndReason(int row, const QString &dateTime, const QString &reason)
{
    Session session(*this);
    auto saved = m_store->updateRecord(m_rows.at(row).rowid, m_rows.at(row).userName, dateTime, reason);
    if (saved && *saved) {
        m_rows[row].dateTime = dateTime;
        m_rows[row].reason = reason;
        emit changed(row);
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
        m_rows.removeAt(same);
        emit removed(same);
    }
    return Done{};
}

Status BidderList::replaceAll(const QList<Bidder> &bidders)
{
    Session session(*this);
    auto replaced = m_store->replaceAll(bidders);
    if (!replaced)
        return Failure{replaced.error()};
    m_rows = std::move(*replaced);
    m_loaded = true;
    emit reset();
    return Done{};
}
