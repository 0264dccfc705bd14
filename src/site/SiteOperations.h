// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The most bidders the site keeps in a seller's list; it drops the rest of a longer upload.
constexpr int kSiteListLimit = 5000;

// true = the site says the id is "not a registered user". Fails (SignedOut) when the reply is the
// site's sign-in page, and (Failed) on a failed request or page file, or an error status without the phrase.
SiteResult<bool> IsNaru(SiteClient &site, const QString &userId);

// The seller's list as the site's bidder-block page shows it, in page order, empty entries and
// repeats kept. Fails SignedOut for the sign-in page, NotAList for any other page without the list.
SiteResult<QStringList> DownloadBlockedList(SiteClient &site);

// The site's list read back after an upload, against the ids sent. Ids are compared as the site
// counts them: letter case, order, repeats and empty entries aside.
struct UploadCheck
{
    int sent = 0;         // distinct ids sent
    int held = 0;         // how many of them the site holds now
    QStringList missing;  // up to ten ids sent that the site does not hold, in the order sent
    QStringList extra;    // up to ten ids the site holds that were not sent, in its order
    int extraCount = 0;   // all of those
    QString replyPath;    // the site's answer to the upload (response2.htm)
    QString readBackPath; // the bidder-block page fetched after it (readback.htm)
    bool done() const { return held == sent && extraCount == 0; }
};
// Posts the whole list, then reads the site's list back. Fails when the post or the read-back got
// no answer, an error status, a redirect or the sign-in page; otherwise the check says what the site kept.
SiteResult<UploadCheck> UploadBlockList(SiteClient &site, const QStringList &userIds);

// "a, b, c": the list as the question and the notice show it, and as it is posted.
QString BidderListText(const QStringList &userIds);
// The question before an upload; over kSiteListLimit ids it says the site will not keep them all.
QString UploadQuestion(const QStringList &userIds);
// Why an upload that the site answered is not done: what it holds, what is missing, where the pages are.
QString UploadNotKeptMessage(const UploadCheck &check);

// The two GETs as paths with their queries, and what their replies say, for the requests that are
// sent several at once (ParallelGets) rather than one at a time through a page file.
QString NaruLookupPath(const QString &userId);
QString BlockPagePath();
SiteResult<bool> NaruAnswer(const SiteClient &site, const QString &userId, const SiteReply &reply,
                            const QList<QByteArray> &lines);
SiteResult<QStringList> BlockedListAnswer(const SiteClient &site, const SiteReply &reply,
                                          const QList<QByteArray> &lines);

// Helpers the operations are made of, exposed for tests.
QByteArray EncodeUserId(const QString &userId);
QByteArray UploadBody(const QStringList &userIds);
QList<QByteArray> FindListTexts(const QList<QByteArray> &lines); // every list text found, in page order
QStringList SplitBlockedList(const QByteArray &listText);
bool HasPasswordField(const QList<QByteArray> &lines);
