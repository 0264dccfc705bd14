// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "core/SyncPlan.h"

#include "core/BidderList.h"

#include <QHash>
#include <QSet>

namespace {

// The keys of the ids the site makes of one id: it splits at blanks, commas, semicolons and CR LF
// pairs, and keeps no empty entry.
QStringList keysOf(const QString &id)
{
    QStringList keys;
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
        if (i > start) {
            const QString key = id.sliced(start, i - start).toCaseFolded();
            if (!keys.contains(key))
                keys << key;
        }
        if (separator == 0)
            break; // the end of the id
        i += separator - 1;
        start = i + 1;
    }
    return keys;
}

QSet<QString> keySet(const QStringList &ids)
{
    QSet<QString> keys;
    keys.reserve(ids.size());
    for (const QString &id : ids)
        for (const QString &key : keysOf(id))
            keys.insert(key);
    return keys;
}

QSet<QString> keySet(const QList<Bidder> &rows)
{
    QSet<QString> keys;
    keys.reserve(rows.size());
    for (const Bidder &row : rows)
        for (const QString &key : keysOf(row.userName))
            keys.insert(key);
    return keys;
}

// The ids of the site's list that `wanted` picks, each once, in the site's order.
template <typename Wanted> QStringList siteIdsWhere(const QStringList &siteIds, Wanted wanted)
{
    QStringList picked;
    QSet<QString> seen;
    for (const QString &id : siteIds)
        for (const QString &key : keysOf(id))
            if (!seen.contains(key) && wanted(key)) {
                seen.insert(key);
                picked << id;
                break;
            }
    return picked;
}

} // namespace

SyncPlan PlanSync(const QStringList &siteIds, const QList<Bidder> &rows, const std::optional<QStringList> &base,
                  int limit)
{
    SyncPlan plan;
    const QSet<QString> here = keySet(rows);
    const QSet<QString> agreed = base ? keySet(*base) : QSet<QString>();
    plan.unblocked =
        siteIdsWhere(siteIds, [&](const QString &key) { return !here.contains(key) && agreed.contains(key); });
    plan.asked =
        siteIdsWhere(siteIds, [&](const QString &key) { return !here.contains(key) && !agreed.contains(key); });

    // How many rows hold each id; the post holds as many ids as there are keys.
    QHash<QString, int> holders;
    QList<QStringList> rowKeys;
    rowKeys.reserve(rows.size());
    for (const Bidder &row : rows) {
        rowKeys << keysOf(row.userName);
        for (const QString &key : rowKeys.back())
            ++holders[key];
    }
    // An id is left off with all of its rows, and only when every one of them is marked NARU.
    const QString naru = NaruValue(true);
    QHash<QString, QList<qsizetype>> rowsOfId;
    QHash<QString, bool> allNaru;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const QString id = rows.at(i).userName.toCaseFolded();
        rowsOfId[id] << i;
        allNaru[id] = allNaru.value(id, true) && rows.at(i).naru == naru;
    }
    qsizetype count = holders.size();
    QSet<QString> leftOffIds, tried;
    for (qsizetype i = rows.size() - 1; i >= 0 && count > limit; --i) {
        const QString id = rows.at(i).userName.toCaseFolded();
        if (!allNaru.value(id) || tried.contains(id))
            continue;
        tried.insert(id);
        qsizetype freed = 0;
        for (const qsizetype j : rowsOfId.value(id))
            for (const QString &key : rowKeys.at(j))
                freed += --holders[key] == 0 ? 1 : 0;
        if (freed == 0) { // another row sends the same ids: leaving this one off would gain nothing
            for (const qsizetype j : rowsOfId.value(id))
                for (const QString &key : rowKeys.at(j))
                    ++holders[key];
            continue;
        }
        leftOffIds.insert(id);
        count -= freed;
    }
    plan.idCount = int(count);
    if (count > limit) {
        plan.mustDelete = int(count - limit);
        return plan;
    }
    QSet<QString> named;
    for (const Bidder &row : rows) {
        const QString id = row.userName.toCaseFolded();
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
