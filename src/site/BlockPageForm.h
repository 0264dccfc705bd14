// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One field of a form, its name and value decoded from the page.
struct FormField
{
    QString name;
    QString value;
    bool operator==(const FormField &other) const { return name == other.name && value == other.value; }
};

// The most fields taken from a page: the site's form has a handful, so a page of thousands is not it.
constexpr int kFormFieldsKept = 64;

// The hidden fields of the bidder-block page's form that holds the list (the last form with a list
// in it), in page order, other than the upload's own fields (MfcISAPICommand, userid, pass,
// bidderlist) and any that are disabled; none when no form holds the list. The site's later pages
// carry form tokens there, and its post handler refuses a post without them. Linear in the page.
QList<FormField> BlockPageFormFields(const QByteArray &page);

// The upload's body: exactly UploadBody(userIds), whose final "&" then leads the fields, each
// form-encoded, joined by "&", with none after the last:
//   MfcISAPICommand=BidderBlockResult&userid=&pass=&bidderlist=a, b&stok=...&srt=...
// Without fields it is UploadBody(userIds) alone.
QByteArray UploadBodyWithFields(const QStringList &userIds, const QList<FormField> &fields);
