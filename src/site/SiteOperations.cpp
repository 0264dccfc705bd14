#include "site/SiteOperations.h"

namespace {

const QString cgiPath = QStringLiteral("/aw-cgi/eBayISAPI.dll");
const QString naruPage = QStringLiteral("naru.htm");
const QString blockPage = QStringLiteral("response.htm");
const QString uploadReplyPage = QStringLiteral("response2.htm");

bool isPlainIdByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == '*';
}

} // namespace

QByteArray EncodeUserId(const QString &userId)
{
    // Every id the site accepts today is made of these characters and goes out byte for byte; any
    // other byte would break the address or the form (a space, "&", "=", "%"), so it is escaped.
    static const char hex[] = "0123456789ABCDEF";
    const QByteArray bytes = userId.toUtf8();
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        if (isPlainIdByte(c)) {
            out += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    return out;
}

std::optional<bool> IsNaru(SiteClient &site, const QString &userId)
{
    const QString pathAndQuery = cgiPath + QStringLiteral("?MfcISAPICommand=ReturnUserIdHistory&requested=") +
                                 QString::fromLatin1(EncodeUserId(userId));
    if (!site.FetchToPageFile(QStringLiteral("GET"), pathAndQuery, {}, naruPage))
        return std::nullopt;
    QList<QByteArray> lines;
    if (!site.ReadPageLines(naruPage, &lines))
        return std::nullopt;

    bool naru = false;
    for (const QByteArray &line : std::as_const(lines))
        if (line.contains("not a registered user"))
            naru = true;

    // An error page says nothing about the id: calling it "registered" would turn a site outage
    // into wrong answers in the store.
    if (!naru && site.lastStatus() >= 400) {
        site.setLastError(QStringLiteral("The lookup of \"%1\" at %2 got HTTP status %3 and no answer.")
                              .arg(userId, site.baseUrl() + pathAndQuery, QString::number(site.lastStatus())));
        return std::nullopt;
    }
    return naru;
}

QList<QByteArray> FindListTexts(const QList<QByteArray> &lines)
{
    static const QByteArray name("bidderlist");
    static const QByteArray closing("</textarea>");
    QList<QByteArray> found;
    for (const QByteArray &line : lines) {
        for (qsizetype i = line.indexOf(name); i >= 0; i = line.indexOf(name, i + 1)) {
            // The name and the one character after it (the tag's ">") are skipped.
            const QByteArray fragment =
                i + name.size() + 1 < line.size() ? line.mid(i + name.size() + 1) : QByteArray();
            const qsizetype end = fragment.indexOf(closing);
            if (end >= 0)
                found.append(fragment.left(end));
        }
    }
    return found;
}

QStringList SplitBlockedList(const QByteArray &listText)
{
    if (listText.isEmpty())
        return {};
    // Each pass runs once, left to right, without rescanning what it inserted: a run of n commas
    // becomes ceil(n/2) commas, so "a, b" gives two entries and "a,,,b" keeps an empty one.
    QByteArray text = listText;
    text.replace(' ', ',');
    text.replace(';', ',');
    text.replace("\r\n", ",");
    text.replace(",,", ",");
    QStringList entries;
    for (const QByteArray &piece : text.split(','))
        entries.append(QString::fromUtf8(piece));
    return entries;
}

std::optional<BlockedList> DownloadBlockedList(SiteClient &site)
{
    if (!site.FetchToPageFile(QStringLiteral("GET"), cgiPath + QStringLiteral("?BidderBlockLogin"), {}, blockPage))
        return std::nullopt;
    QList<QByteArray> lines;
    if (!site.ReadPageLines(blockPage, &lines))
        return std::nullopt;

    const QList<QByteArray> listTexts = FindListTexts(lines);
    BlockedList result;
    result.hasListArea = !listTexts.isEmpty();
    if (result.hasListArea)
        result.entries = SplitBlockedList(listTexts.last()); // the last text area on the page wins
    return result;
}

QString BidderListText(const QStringList &userIds)
{
    return userIds.join(QStringLiteral(", "));
}

QByteArray UploadBody(const QStringList &userIds)
{
    QByteArray body("MfcISAPICommand=BidderBlockResult&userid=&pass=&bidderlist=");
    body.reserve(body.size() + userIds.size() * 16 + 1);
    for (qsizetype i = 0; i < userIds.size(); ++i) {
        if (i > 0)
            body += ", "; // the separators go as the site has always received them
        body += EncodeUserId(userIds.at(i));
    }
    body += '&';
    return body;
}

bool UploadBlockList(SiteClient &site, const QStringList &userIds)
{
    return site.FetchToPageFile(QStringLiteral("POST"), cgiPath, UploadBody(userIds), uploadReplyPage);
}
