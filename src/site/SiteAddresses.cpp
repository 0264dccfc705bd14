// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/SiteAddresses.h"

namespace {

const QString cgiPath = QStringLiteral("/aw-cgi/eBayISAPI.dll");

bool isPlainIdByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == '*';
}

// Letters, digits and "*-._" go as they are; any other byte of the text in UTF-8 is escaped, a blank
// as "+" where a form encodes it (`blankAsPlus`), else as "%20".
void appendEscaped(QByteArray &out, const QString &text, bool blankAsPlus)
{
    static const char hex[] = "0123456789ABCDEF";
    // Most texts are all plain characters, which go as they are, with no conversion to UTF-8 first.
    const qsizetype at = out.size();
    out.resize(at + text.size());
    char *to = out.data() + at;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80 || !isPlainIdByte(char(c.unicode()))) {
            out.truncate(at);
            break;
        }
        *to++ = char(c.unicode());
    }
    if (out.size() > at || text.isEmpty())
        return;
    for (const char c : text.toUtf8()) {
        if (isPlainIdByte(c)) {
            out += c;
        } else if (c == ' ' && blankAsPlus) {
            out += '+';
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
}

// Every id the site accepts today is made of plain characters and goes out byte for byte; any other
// byte would break the address or the form (a space, "&", "=", "%"), so it is escaped.
void appendEncoded(QByteArray &out, const QString &userId)
{
    appendEscaped(out, userId, false);
}

} // namespace

QString NaruLookupPath(const QString &userId)
{
    QByteArray id;
    id.reserve(userId.size());
    appendEncoded(id, userId);
    return cgiPath + QStringLiteral("?MfcISAPICommand=ReturnUserIdHistory&requested=") + QString::fromLatin1(id);
}

QString BlockPagePath()
{
    return cgiPath + QStringLiteral("?BidderBlockLogin");
}

QString UploadPath()
{
    return cgiPath;
}

QString SignInPagePath()
{
    return cgiPath + QStringLiteral("?bidderblocklogin");
}

QByteArray UploadBody(const QStringList &userIds)
{
    QByteArray body("MfcISAPICommand=BidderBlockResult&userid=&pass=&bidderlist=");
    body.reserve(body.size() + userIds.size() * 16 + 1);
    for (qsizetype i = 0; i < userIds.size(); ++i) {
        if (i > 0)
            body += ", "; // the separators go as the site has always received them
        appendEncoded(body, userIds.at(i));
    }
    body += '&';
    return body;
}

void AppendFormEncoded(QByteArray &out, const QString &text)
{
    appendEscaped(out, text, true);
}
