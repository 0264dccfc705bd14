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

QSet<QString> keySet(const QStringList &ids)
{
    QSet<QString> keys;
    keys.reserve(ids.size());
    for (const QString &id : ids)
        forEachKey(id, [&](const QString &key) { keys.insert(key); });
    return keys;
}

QSet<QString> keySet(const QList<Bidder> &rows)
{
    QSet<QString> keys;
    keys.reserve(rows.size());
    for (const Bidder &row : rows)
        forEachKey(row.userName, [&](const QString &key) { keys.insert(key); });
    return keys;
}

// The ids of the site's list that `wanted` picks, each once, in the site's order.
template <typename Wanted> QStringList siteIdsWhere(const QStringList &siteIds, Wanted wanted)
{
    QStringList picked;
    QSet<QString> seen;
    seen.reserve(siteIds.size());
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

SyncPlan PlanSync(const QStringList &siteIds, const QList<Bidder> &rows, const std::optional<QStringList> &base,
                  int limit)
{
    SyncPlan plan;
    // How many rows hold each id; the post holds as many ids as there are keys.
    QHash<QString, int> holders;
    holders.reserve(rows.size());
    for (const Bidder &row : rows)
        forEachKey(row.userName, [&](const QString &key) { ++holders[key]; });
    const QSet<QString> agreed = base ? keySet(*base) : QSet<QString>();
    plan.unblocked =
        siteIdsWhere(siteIds, [&](const QString &key) { return !holders.contains(key) && agreed.contains(key); });
    plan.asked =
        siteIdsWhere(siteIds, [&](const QString &key) { return !holders.contains(key) && !agreed.contains(key); });

    qsizetype count = holders.size();
    const QSet<QString> leftOffIds = count > limit ? leaveOffNaru(rows, holders, limit, count) : QSet<QString>();
    plan.idCount = int(count);
    if (count > limit) {
        plan.mustDelete = int(count - limit);
        return plan;
    }
    plan.send.reserve(rows.size());
    QSet<QString> named;
    for (const Bidder &row : rows) {
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

QStringList NewSiteIds(const QStringList &siteIdsNow, const QList<Bidder> &rows, const QStringList &seenBefore)
{
    const QSet<QString> here = keySet(rows), seen = keySet(seenBefore);
    return siteIdsWhere(siteIdsNow, [&](const QString &key) { return !here.contains(key) && !seen.contains(key); });
}
