// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/BlockPageForm.h"

#include "site/SiteAddresses.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"

#include <QByteArrayView>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

qsizetype findCaseless(QByteArrayView text, QByteArrayView what, qsizetype from)
{
    return QLatin1StringView(text).indexOf(QLatin1StringView(what), from, Qt::CaseInsensitive);
}

struct Tag
{
    QByteArray type, name, value;
    bool hasName = false, disabled = false;
    qsizetype end = 0; // just past its ">", or the end of the text
};

// The attributes of the tag whose name ends at `at`: names in any letter case, values quoted either
// way or not at all; the first of a repeated attribute counts, as in a browser.
Tag readTag(QByteArrayView text, qsizetype at)
{
    Tag tag;
    bool seenType = false, seenValue = false;
    const qsizetype size = text.size();
    while (at < size) {
        while (at < size && (isBlank(text[at]) || text[at] == '/'))
            ++at;
        if (at >= size || text[at] == '>')
            break;
        const qsizetype nameStart = at;
        while (at < size && !isBlank(text[at]) && text[at] != '=' && text[at] != '>' && text[at] != '/')
            ++at;
        const QByteArray attribute = text.sliced(nameStart, at - nameStart).toByteArray().toLower();
        while (at < size && isBlank(text[at]))
            ++at;
        QByteArrayView value;
        if (at < size && text[at] == '=') {
            ++at;
            while (at < size && isBlank(text[at]))
                ++at;
            if (at < size && (text[at] == '"' || text[at] == '\'')) {
                const char quote = text[at++];
                qsizetype close = text.indexOf(quote, at);
                close = close < 0 ? size : close;
                value = text.sliced(at, close - at);
                at = qMin(size, close + 1);
            } else {
                const qsizetype valueStart = at;
                while (at < size && !isBlank(text[at]) && text[at] != '>')
                    ++at;
                value = text.sliced(valueStart, at - valueStart);
            }
        }
        if (attribute == "type" && !seenType) {
            seenType = true;
            tag.type = value.toByteArray().toLower();
        } else if (attribute == "name" && !tag.hasName) {
            tag.hasName = true;
            tag.name = value.toByteArray();
        } else if (attribute == "value" && !seenValue) {
            seenValue = true;
            tag.value = value.toByteArray();
        } else if (attribute == "disabled") {
            tag.disabled = true;
        }
    }
    tag.end = qMin(size, at + 1);
    return tag;
}

// The hidden fields of one form's text, up to the most kept.
QList<FormField> hiddenFields(QByteArrayView form)
{
    static const QStringList uploadsOwn{QStringLiteral("MfcISAPICommand"), QStringLiteral("userid"),
                                        QStringLiteral("pass"), QStringLiteral("bidderlist")};
    QList<FormField> fields;
    for (qsizetype at = findCaseless(form, "<input", 0); at >= 0 && fields.size() < kFormFieldsKept;) {
        const qsizetype after = at + 6;
        if (after < form.size() && !isBlank(form[after]) && form[after] != '/' && form[after] != '>') {
            at = findCaseless(form, "<input", after); // "<inputs>" is another tag
            continue;
        }
        const Tag tag = readTag(form, after);
        if (tag.type == "hidden" && tag.hasName && !tag.disabled) {
            // Read as the list on the same page is read, in UTF-8.
            FormField field{DecodeReferences(QString::fromUtf8(tag.name)),
                            DecodeReferences(QString::fromUtf8(tag.value))};
            if (!field.name.isEmpty() && !uploadsOwn.contains(field.name))
                fields << field;
        }
        at = findCaseless(form, "<input", tag.end);
    }
    return fields;
}

} // namespace

QList<FormField> BlockPageFormFields(const QByteArray &page)
{
    // Each form runs to its "</form>", or to the end of the page; every byte is looked at in one form at most.
    QByteArrayView holding;
    for (qsizetype at = findCaseless(page, "<form", 0); at >= 0;) {
        if (at + 5 < page.size() && !isBlank(page[at + 5]) && page[at + 5] != '>') {
            at = findCaseless(page, "<form", at + 5); // "<formula>" is another tag
            continue;
        }
        qsizetype end = findCaseless(page, "</form", at + 5);
        end = end < 0 ? page.size() : end;
        const QByteArrayView form = QByteArrayView(page).sliced(at, end - at);
        if (!FindListTexts(SplitPageLines(form.toByteArray())).isEmpty())
            holding = form;
        at = findCaseless(page, "<form", end);
    }
    return hiddenFields(holding);
}

QByteArray UploadBodyWithFields(const QStringList &userIds, const QList<FormField> &fields)
{
    QByteArray body = UploadBody(userIds);
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            body += '&';
        AppendFormEncoded(body, fields.at(i).name);
        body += '=';
        AppendFormEncoded(body, fields.at(i).value);
    }
    return body;
}
