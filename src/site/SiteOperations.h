// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"
#include "site/SiteLimits.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The page files of the upload: the site's answer to the post, and its list read back after it
// (a file of its own: a failure message points the user at it, and the wizard deletes response.htm).
extern const QString UploadReplyPage;
extern const QString ReadBackPage;

// The most entries a page's list may hold to be taken as the seller's list: the site keeps at
// most kSiteListLimit, so a list far longer is some other page.
constexpr int kImportLimit = 10000;

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
// The ids the site holds that the local list lacks, each once, in the site's order.
QStringList SiteOnlyIds(const QStringList &localIds, const QStringList &siteIds);

// "a, b, c": the list as the question and the notice show it, and as it is posted.
QString BidderListText(const QStringList &userIds);
// The question before an upload; over kSiteListLimit ids it says the site will not keep them all,
// and it names the ids on the site that saving would remove from there.
QString UploadQuestion(const QStringList &userIds, const QStringList &siteOnlyIds = {});
// Why an upload that the site answered is not done: what it holds, what is missing, where the pages are.
QString UploadNotKeptMessage(const UploadCheck &check);

// The requests as paths with their queries (the post's body: UploadBody), and what their replies say.
QString NaruLookupPath(const QString &userId);
QString BlockPagePath();
QString UploadPath();
// true = the site says the id is "not a registered user", false = the page is the id's own history
// page. Fails SignedOut for the sign-in page, Failed for an error status, and NoAnswer for a page
// that proves neither (a maintenance or bot-check page, an empty reply).
SiteResult<bool> NaruAnswer(const SiteClient &site, const QString &userId, const SiteReply &reply,
                            const QList<QByteArray> &lines);
// The seller's list on the bidder-block page, in page order, repeats kept and empty entries
// dropped. Fails SignedOut for the sign-in page, NotAList for any other page without the list or
// with a list longer than any seller's.
SiteResult<QStringList> BlockedListAnswer(const SiteClient &site, const SiteReply &reply,
                                          const QList<QByteArray> &lines);
// Whether the upload's reply is an answer at all; the read-back then says what the site kept.
SiteResult<Done> UploadAnswer(const SiteClient &site, const SiteReply &reply, const QList<QByteArray> &lines);

// Helpers the operations are made of, exposed for tests.
QByteArray EncodeUserId(const QString &userId);
QByteArray UploadBody(const QStringList &userIds);
// Every list text found, in page order, as views into `lines`; the name is looked for at most
// kListNamesLooked times, so a page of nothing but names costs no more than a few pages.
constexpr int kListNamesLooked = 1000;
QList<QByteArrayView> FindListTexts(const QList<QByteArray> &lines);
QStringList SplitBlockedList(const QByteArray &listText);
bool HasPasswordField(const QList<QByteArray> &lines);
// The text of a page with its character references decoded (&amp;, &#233;, &#xE9;).
QString DecodeHtmlText(const QByteArray &page);
// Whether the page names the id: the id, blanks around it aside, stands in the decoded text in any
// letter case, as a word of its own.
bool PageNamesId(const QList<QByteArray> &lines, const QString &userId);
