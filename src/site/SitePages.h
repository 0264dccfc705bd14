// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"
#include "site/SiteLimits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// Reading the site's pages: what each reply says, and the pieces that find it out. Every page is
// read in time and memory in proportion to its size, and the splitting stops at its caps.

// The most entries a page's list may hold to be taken as the seller's list: the site keeps at
// most kSiteListLimit, so a list far longer is some other page.
constexpr int kImportLimit = 10000;
// SplitBlockedList stops at this many entries that are not empty: one more than any list taken.
constexpr int kMaxListEntries = kImportLimit + 1;
// A page of the largest size taken whose lines average under 32 bytes is no page of the site.
constexpr qsizetype kMaxPageLines = SiteClient::MaxReplyBytes / 32;

// The page's lines without their ends: a line ends at CR or CR LF; a lone LF is part of the line.
// Stops at kMaxPageLines + 1 lines, so a page of more is known by its count and refused.
QList<QByteArray> SplitPageLines(const QByteArray &text);

// true = the site says the id is "not a registered user", false = the page is the id's own history
// page. Fails SignedOut for the sign-in page, Failed for an error status or a page of too many lines,
// and NoAnswer for a page that proves neither (a maintenance or bot-check page, an empty reply).
SiteResult<bool> NaruAnswer(const SiteClient &site, const QString &userId, const SiteReply &reply,
                            const QList<QByteArray> &lines);
// The seller's list on the bidder-block page, in page order, repeats kept and empty entries
// dropped. Fails SignedOut for the sign-in page, NotAList for any other page without the list or
// with a list longer than any seller's.
SiteResult<QStringList> BlockedListAnswer(const SiteClient &site, const SiteReply &reply,
                                          const QList<QByteArray> &lines);
// Whether the upload's reply is an answer at all; the read-back then says what the site kept.
SiteResult<Done> UploadAnswer(const SiteClient &site, const SiteReply &reply, const QList<QByteArray> &lines);

// Every list text found, in page order, as views into `lines`; the name is looked for at most
// kListNamesLooked times, so a page of nothing but names costs no more than a few pages.
constexpr int kListNamesLooked = 1000;
QList<QByteArrayView> FindListTexts(const QList<QByteArray> &lines);
// The entries as the site splits its list: blanks, semicolons and CR LF pairs are commas, and a run
// of n separators counts as ceil(n/2) commas, so "a, b" gives two entries and "a,,,b" keeps an
// empty one. Stops once it holds kMaxListEntries entries that are not empty, and keeps no more
// empty ones than that (they say nothing).
QStringList SplitBlockedList(QByteArrayView listText);
bool HasPasswordField(const QList<QByteArray> &lines);
// The text a reader of the page sees: decoded by the charset the page declares (Latin-1 when it
// declares none), without its tags and their attributes, comments, scripts and styles (each left
// as a blank), and with its character references decoded (&amp;, &#233;, &#xE9;).
QString DecodeHtmlText(const QByteArray &page);
// The text with its character references decoded, and nothing else changed: an attribute's value.
QString DecodeReferences(QStringView text);
// Whether the page's text names the id, blanks around it aside: as typed, or in lower case as the
// site shows ids, standing as a word of its own that a final "." may end.
bool PageNamesId(const QList<QByteArray> &lines, const QString &userId);
