// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/BidderStore.h"

#include <QHash>
#include <QStringList>
#include <optional>

// What saving the local list to the site does, decided before anything is sent. Saving is a sync
// against the base: the site's list as the program last confirmed it (after an import, or a save
// whose read-back matched). An id the seller deleted here since is unblocked; an id blocked on the
// site since is named, never dropped unseen.
//
// Ids are compared as the site counts them: an id of ours is split where the site splits its list
// (blanks, commas, semicolons, CR LF), empty pieces count for nothing, and letter case is ignored
// (Unicode case folding, as the upload's own check compares).
struct SyncPlan
{
    QStringList unblocked; // on the site and in the base, not here: deleted here, so the post unblocks them
    QStringList asked;     // on the site, neither here nor in the base (no base: every id only the site holds)
    QStringList leftOff;   // ids of rows marked NARU "Yes" that the post leaves off for the limit, in list order
    QStringList send;      // the ids to post, in list order, repeats kept; empty when nothing can be sent
    int idCount = 0;       // the distinct ids the post holds; when nothing can be sent, the registered ones
    int mustDelete = 0;    // above 0: nothing can be sent, and this many registered ids must go first
    bool canSend() const { return mustDelete == 0; }
};

// The local list and the base, taken in once when a save starts: the save plans against them at
// each read of the site's list, and only the site's side is new each time.
class SyncPlanner
{
public:
    // rows: the local list in display order; base: none when the store has never recorded one.
    SyncPlanner(const QList<Bidder> &rows, std::optional<QStringList> base);

    // siteIds: the site's list as read; limit: the most ids the site keeps. Rows marked NARU "Yes"
    // are left off first, from the end of the list, and only as many as it takes to fit.
    SyncPlan plan(const QStringList &siteIds, int limit) const;

    // The ids a later read of the site's list holds that are neither here nor in `seenBefore` (the
    // earlier reads, which hold the ids being unblocked on purpose): each once, in the site's order.
    QStringList newSiteIds(const QStringList &siteIdsNow, const QStringList &seenBefore) const;

private:
    QList<Bidder> m_rows;
    std::optional<QStringList> m_base;
    QHash<QString, int> m_holders; // each id's key, and how many rows hold it
};
