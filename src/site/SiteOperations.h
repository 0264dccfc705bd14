#pragma once

#include "site/SiteClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// true = the site says the id is "not a registered user"; nullopt = the lookup failed
// (request, page file, or an error status without the phrase); site.lastError() says why.
std::optional<bool> IsNaru(SiteClient &site, const QString &userId);

struct BlockedList
{
    bool hasListArea = false; // false: a sign-in or error page, not an empty list
    QStringList entries;
};
// The seller's list as the site's bidder-block page shows it; nullopt = request or page file failed.
std::optional<BlockedList> DownloadBlockedList(SiteClient &site);

// "a, b, c": the list as the question and the notice show it, and as it is posted.
QString BidderListText(const QStringList &userIds);
// The upload's form body for these ids.
QByteArray UploadBody(const QStringList &userIds);
// Posts the whole list; false = the request or page file failed. The caller checks site.lastStatus().
bool UploadBlockList(SiteClient &site, const QStringList &userIds);

// Helpers the operations are made of, exposed for tests.
QByteArray EncodeUserId(const QString &userId);
QList<QByteArray> FindListTexts(const QList<QByteArray> &lines); // every list text found, in page order
QStringList SplitBlockedList(const QByteArray &listText);
