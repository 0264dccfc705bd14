// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SitePages.h"

#include <QString>
#include <QStringList>

// The site's list against the ids sent or held locally. Ids are compared as the site counts them:
// each split as the site splits its list, empty entries, letter case, order and repeats aside.
struct UploadCheck
{
    int sent = 0;         // distinct ids sent (all of them, when the site shows them as sent)
    int held = 0;         // how many of them the site holds now
    QStringList missing;  // up to ten ids sent that the site does not hold, in the order sent
    QStringList extra;    // up to ten ids the site holds that were not sent, in its order
    int extraCount = 0;   // all of those
    QString replyPath;    // the site's answer to the upload (response2.htm)
    QString readBackPath; // the bidder-block page fetched after it (readback.htm)
    bool done() const { return held == sent && extraCount == 0; }
};
UploadCheck CompareWithSite(const QStringList &sentIds, const QStringList &siteIds);
// The usual case, told without building any set: the site shows the ids in the order they were
// sent, each one id as it stands, none empty. False says nothing; the sets decide then.
bool SameIdsInOrder(const QStringList &ours, const QStringList &site);

// "a, b, c": the list as the question and the notice show it, and as it is posted.
QString BidderListText(const QStringList &userIds);
// Why an upload that the site answered is not done: what it holds, what is missing, where the pages are.
QString UploadNotKeptMessage(const UploadCheck &check);
