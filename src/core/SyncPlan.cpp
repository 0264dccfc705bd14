// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "core/SyncPlan.h"

#include "core/BidderList.h"

#include <QHash>
#include <QSet>

namespace {

// Calls `take` with the key of each id the site makes of one id: it splits at blanks, commas,
// semicolons and CR LF pairs, and keeps no empty entry. Nearly every id is one id in lower case,
// which is its own key: no copy is made of it.
template <typename Take> void forEachKey(const QString &id, Take take)
{
    bool fold = false, split = false;
    for (const QChar c : id) {
        fold = fold || c.unicode() >= 0x80 || (c >= u'A' && c <= u'Z');
        split = split || c == u' ' || c == u',' || c == u';' || c == u'\r';
    }
    if (!split) {
        if (!id.isEmpty())
            take(fold ? id.toCaseFolded() : id);
        return;
    }
    qsizetype start = 0;
    for (qsizetype i = 0; i <= id.size(); ++i) {
        int separator = 0;
        if (i < id.size()) {
            const QChar c = id.at(i);
            if (c == u' ' || c == u',' || c == u';')
                separator = 1;
            else if (c == u'\r' && i + 1 < id.size() && id.at(i + 1) == u'\n')
                separator = 2;
            else
                continue;
        }
        if (i > start)
            take(id.sliced(start, i - start).toCaseFolded());
        if (separator == 0)
            break; // the end of the id
        i += separator - 1;
        start = i + 1;
    }
}

// The keys of the site's list that no row here holds: nearly always few, often none. Where the
// site's list runs as this one does, as after a save, an id costs one comparison and no lookup.
QSet<QString> keysNotHeld(const QStringList &siteIds, const QList<Bidder> &rows, const QHash<QString, int> &holders)
{
    QSet<QString> keys;
    qsizetype row = 0;
    for (const QString &id : siteIds) {
        // The next row, or the one after it when a bidder was added here since.
        if (row < rows.size() && id == rows.at(row).userName) {
            ++row;
            continue;
        }
        if (row + 1 < rows.size() && id == rows.at(row + 1).userName) {
            row += 2;
            continue;
        }
        forEachKey(id, [&](const QString &key) {
            if (!holders.contains(key))
                keys.insert(key);
        });
    }
    return keys;
}

// The keys of `ids` that are among `wanted`: a long list costs lookups in a small set, and no copies.
QSet<QString> keysAmong(const QStringList &ids, const QSet<QString> &wanted)
{
    QSet<QString> found;
    if (wanted.isEmpty())
        return found;
    for (const QString &id : ids)
        forEachKey(id, [&](const QString &key) {
            if (wanted.contains(key))
                found.insert(key);
        });
    return found;
}

// The ids of the site's list that `wanted` picks, each once, in the site's order.
template <typename Wanted> QStringList siteIdsWhere(const QStringList &siteIds, Wanted wanted)
{
    QStringList picked;
    QSet<QString> seen;
    for (const QString &id : siteIds) {
        bool pick = false;
        forEachKey(id, [&](const QString &key) {
            if (!pick && !seen.contains(key) && wanted(key)) {
                seen.insert(key);
                pick = true;
            }
        });
        if (pick)
            picked << id;
    }
    return picked;
}

} // namespace

namespace {

// Leaves off the rows marked NARU, from the end of the list, until the ids fit; gives the ids left
// off (their rows' user names, case-folded) and lowers `count` by the ids they freed.
QSet<QString> leaveOffNaru(const QList<Bidder> &rows, QHash<QString, int> &holders, int limit, qsizetype &count)
{
    // An id is left off with all of its rows, and only when every one of them is marked NARU.
    const QString naru = NaruValue(true);
    QHash<QString, QList<qsizetype>> rowsOfId;
    QHash<QString, bool> allNaru;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString id = rows.at(i).userName.toCaseFolded();
        rowsOfId[id] << i;
        allNaru[id] = allNaru.value(id, true) && rows.at(i).naru == naru;
    }
    QSet<QString> leftOff, tried;
    for (qsizetype i = rows.size() - 1; i >= 0 && count > limit; --i) {
        const QString id = rows.at(i).userName.toCaseFolded();
        if (!allNaru.value(id) || tried.contains(id))
            continue;
        tried.insert(id);
        const auto free = [&](int step) {
            qsizetype freed = 0;
            for (const qsizetype j : rowsOfId.value(id))
                forEachKey(rows.at(j).userName, [&](const QString &key) {
                    int &held = holders[key];
                    held += step;
                    freed += held == 0 ? 1 : 0;
                });
            return freed;
        };
        const qsizetype freed = free(-1);
        if (freed == 0) { // another row sends the same ids: leaving this one off would gain nothing
            free(+1);
            continue;
        }
        leftOff.insert(id);
        count -= freed;
    }
    return leftOff;
}

} // namespace

SyncPlanner::SyncPlanner(const QList<Bidder> &rows, std::optional<QStringList> base)
    : m_rows(rows), m_base(std::move(base))
{
    // How many rows hold each id; the post holds as many ids as there are keys.
    m_holders.reserve(rows.size());
    for (const Bidder &row : rows)
        forEachKey(row.userName, [&](const QString &key) { ++m_holders[key]; });
}

SyncPlan SyncPlanner::plan(const QStringList &siteIds, int limit) const
{
    SyncPlan plan;
    // Only the ids the site holds and this list does not are looked for in the base.
    if (const QSet<QString> missing = keysNotHeld(siteIds, m_rows, m_holders); !missing.isEmpty()) {
        const QSet<QString> agreed = m_base ? keysAmong(*m_base, missing) : QSet<QString>();
        plan.unblocked =
            siteIdsWhere(siteIds, [&](const QString &key) { return missing.contains(key) && agreed.contains(key); });
        plan.asked =
            siteIdsWhere(siteIds, [&](const QString &key) { return missing.contains(key) && !agreed.contains(key); });
    }

    qsizetype count = m_holders.size();
    QSet<QString> leftOffIds;
    if (count > limit) {
        QHash<QString, int> holders = m_holders;
        leftOffIds = leaveOffNaru(m_rows, holders, limit, count);
    }
    plan.idCount = int(count);
    if (count > limit) {
        plan.mustDelete = int(count - limit);
        return plan;
    }
    plan.send.reserve(m_rows.size());
    QSet<QString> named;
    for (const Bidder &row : m_rows) {
        const QString id = leftOffIds.isEmpty() ? QString() : row.userName.toCaseFolded();
        if (!leftOffIds.contains(id))
            plan.send << row.userName;
        else if (!named.contains(id)) {
            named.insert(id);
            plan.leftOff << row.userName;
        }
    }
    return plan;
}

QStringList SyncPlanner::newSiteIds(const QStringList &siteIdsNow, const QStringList &seenBefore) const
{
    const QSet<QString> missing = keysNotHeld(siteIdsNow, m_rows, m_holders);
    if (missing.isEmpty())
        return {};
    const QSet<QString> seen = keysAmong(seenBefore, missing);
    return siteIdsWhere(siteIdsNow, [&](const QString &key) { return missing.contains(key) && !seen.contains(key); });
}
