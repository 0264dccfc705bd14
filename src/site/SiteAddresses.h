// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Every address the program uses on the site, as a path with its query after the site's base
// address (scheme and host), and the form the upload posts.

// The user-id history page of one id; the id is escaped where it would break the address.
QString NaruLookupPath(const QString &userId);
// The bidder-block page, which shows the seller's list.
QString BlockPagePath();
// The upload's post (the command travels in the body: UploadBody).
QString UploadPath();
// The bidder-block page as the seller opens it in the browser to sign in; the site takes the
// query in any letter case, and the wizard has always shown it in lower case.
QString SignInPagePath();

// The upload's form: the ids joined by ", ", each escaped as in NaruLookupPath.
QByteArray UploadBody(const QStringList &userIds);

// As a browser encodes a form's field: UTF-8, letters, digits and "*-._" as they are, a blank as "+".
void AppendFormEncoded(QByteArray &out, const QString &text);
