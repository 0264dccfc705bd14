// SPDX-License-Identifier: MIT
#include "site/SiteOperations.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

namespace {

const QString cgiPath = QStringLiteral("/aw-cgi/eBayISAPI.dll");
const QString blockPageQuery = QStringLiteral("?BidderBlockLogin");
const QString naruPage = QStringLiteral("naru.htm");
const QString blockPage = QStringLiteral("response.htm");
const QString uploadReplyPage = QStringLiteral("response2.htm");
// The list read back after an upload has a page file of its own: the failure message points the
// user at it, and the wizard deletes response.htm after each import.
const QString readBackPage = QStringLiteral("readback.htm");
constexpr int kIdsNamed = 10; // ids a message lists before it just counts the rest

const QString signInAdvice =
    QStringLiteral("Sign in to the site in your web browser and choose \"Keep me signed in\", or use the sign-in "
                   "link in step 1 of the setup wizard; then try again.");

// Counts in the messages' own language, whatever the system's.
QString countText(qsizetype count)
{
    return QLocale(QLocale::English, QLocale::UnitedKingdom).toString(count);
}

bool isPlainIdByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-' || c == '*';
}

// Where the program looked for the browser's session and what went wrong there, when something did:
// a session the program could not read looks to the site like no session at all.
QString cookieNotes(const BrowserCookies &cookies)
{
    if (cookies.problems().isEmpty())
        return {};
    QString text = QStringLiteral("\n\nBidwarden could not read all of your browser's sign-in cookies:\n") +
                   cookies.problems().join(QLatin1Char('\n'));
    text += cookies.sources().isEmpty()
                ? QStringLiteral("\nIt found no other browser cookies it could read.")
                : QStringLiteral("\nIt did read the cookies in:\n") + cookies.sources().join(QLatin1Char('\n'));
    return text;
}

SiteError signedOut(const SiteClient &site)
{
    return {SiteError::Kind::SignedOut,
            QStringLiteral("The site asked you to sign in again, so it gave no answer.\n\n") + signInAdvice +
                cookieNotes(site.cookies())};
}

// The sign-in page asks for a password. The bidder-block page's own form does too, but it shows the list.
bool isSignInPage(const QList<QByteArray> &lines)
{
    return HasPasswordField(lines) && FindListTexts(lines).isEmpty();
}

// The list on a fetched bidder-block page, or why there is none.
SiteResult<QStringList> readBlockPage(const SiteClient &site, const SiteReply &reply, const QString &pageFileName)
{
    const SiteResult<QList<QByteArray>> lines = site.ReadPageLines(pageFileName);
    if (!lines)
        return lines.error();
    return BlockedListAnswer(site, reply, *lines);
}

} // namespace

SiteResult<QStringList> BlockedListAnswer(const SiteClient &site, const SiteReply &reply,
                                          const QList<QByteArray> &lines)
{
    if (reply.redirectedOffPath || isSignInPage(lines))
        return signedOut(site);
    const QString url = site.baseUrl() + cgiPath + blockPageQuery;
    // Whatever an error page shows, the site did not serve the seller's list with it.
    if (reply.status >= 400)
        return SiteError{SiteError::Kind::Failed,
                         QStringLiteral("The site's bidder-block page at %1 answered with HTTP status %2.")
                                 .arg(url, QString::number(reply.status)) +
                             cookieNotes(site.cookies())};
    const QList<QByteArray> listTexts = FindListTexts(lines);
    if (!listTexts.isEmpty())
        return SplitBlockedList(listTexts.last()); // the last text area on the page wins
    return SiteError{SiteError::Kind::NotAList,
                     QStringLiteral("The site's bidder-block page at %1 showed no blocked bidder list. If you were "
                                    "signed out: ")
                             .arg(url) +
                         signInAdvice + cookieNotes(site.cookies())};
}

namespace {

// The ids as the site counts them: each once, whatever its letter case, and no empty entries.
struct IdSet
{
    QStringList ids; // the first spelling of each, in order
    QSet<QString> keys;
};

IdSet distinctIds(const QStringList &ids)
{
    IdSet set;
    for (const QString &id : ids) {
        const QString key = id.toCaseFolded();
        if (id.isEmpty() || set.keys.contains(key))
            continue;
        set.keys.insert(key);
        set.ids << id;
    }
    return set;
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

QString NaruLookupPath(const QString &userId)
{
    return cgiPath + QStringLiteral("?MfcISAPICommand=ReturnUserIdHistory&requested=") +
           QString::fromLatin1(EncodeUserId(userId));
}

QString BlockPagePath()
{
    return cgiPath + blockPageQuery;
}

SiteResult<bool> IsNaru(SiteClient &site, const QString &userId)
{
    const SiteResult<SiteReply> reply =
        site.FetchToPageFile(QStringLiteral("GET"), NaruLookupPath(userId), {}, naruPage);
    if (!reply)
        return reply.error();
    const SiteResult<QList<QByteArray>> lines = site.ReadPageLines(naruPage);
    if (!lines)
        return lines.error();
    return NaruAnswer(site, userId, *reply, *lines);
}

SiteResult<bool> NaruAnswer(const SiteClient &site, const QString &userId, const SiteReply &reply,
                            const QList<QByteArray> &lines)
{
    // The sign-in page lacks the phrase: read as an answer, it would call every id registered.
    if (reply.redirectedOffPath || isSignInPage(lines))
        return signedOut(site);

    bool naru = false;
    for (const QByteArray &line : lines)
        if (line.contains("not a registered user"))
            naru = true;

    // An error page says nothing about the id: calling it "registered" would turn a site outage
    // into wrong answers in the store.
    if (!naru && reply.status >= 400)
        return SiteError{SiteError::Kind::Failed,
                         QStringLiteral("The lookup of \"%1\" at %2 got HTTP status %3 and no answer.")
                                 .arg(userId, site.baseUrl() + NaruLookupPath(userId), QString::number(reply.status)) +
                             cookieNotes(site.cookies())};
    return naru;
}

bool HasPasswordField(const QList<QByteArray> &lines)
{
    // Any letter case, the value quoted either way or not at all, other attributes around it; the
    // tag may run over several lines.
    static const QRegularExpression passwordField(
        QStringLiteral(R"(<input(?:\s[^>]*)?\stype\s*=\s*(?:"password"|'password'|password(?=[\s/>])))"),
        QRegularExpression::CaseInsensitiveOption);
    const QByteArray text = lines.join('\n');
    // Nearly every page has no such field: the word alone rules it out, far faster than the pattern.
    if (!QLatin1String(text).contains(QLatin1String("password"), Qt::CaseInsensitive))
        return false;
    return QString::fromLatin1(text).contains(passwordField);
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

SiteResult<QStringList> DownloadBlockedList(SiteClient &site)
{
    const SiteResult<SiteReply> reply = site.FetchToPageFile(QStringLiteral("GET"), BlockPagePath(), {}, blockPage);
    if (!reply)
        return reply.error();
    return readBlockPage(site, *reply, blockPage);
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

QString UploadQuestion(const QStringList &userIds)
{
    const QString listText = BidderListText(userIds);
    QString question = listText.isEmpty()
                           ? QStringLiteral("Remove all your blocked bidders?")
                           : QStringLiteral("Add ") + listText + QStringLiteral(" to your blocked bidders?");
    const qsizetype count = distinctIds(userIds).ids.size();
    if (count > kSiteListLimit)
        question +=
            QStringLiteral("\n\nThe site keeps at most %1 blocked bidders, so it will not keep all %2 of these.")
                .arg(countText(kSiteListLimit), countText(count));
    return question;
}

SiteResult<UploadCheck> UploadBlockList(SiteClient &site, const QStringList &userIds)
{
    const SiteResult<SiteReply> reply =
        site.FetchToPageFile(QStringLiteral("POST"), cgiPath, UploadBody(userIds), uploadReplyPage);
    if (!reply)
        return SiteError{SiteError::Kind::Failed,
                         QStringLiteral("The upload of your list did not complete.\n\n") + reply.error().message};
    UploadCheck check;
    check.replyPath = QDir::toNativeSeparators(site.pagePath(uploadReplyPage));
    check.readBackPath = QDir::toNativeSeparators(site.pagePath(readBackPage));
    // A redirect is no success either: after a post it usually leads to the sign-in page.
    if (reply->status < 200 || reply->status > 299)
        return SiteError{
            SiteError::Kind::Failed,
            QStringLiteral("The site did not take your list: it answered with status %1. Its answer is in %2.")
                    .arg(QString::number(reply->status), check.replyPath) +
                (reply->status / 100 == 3 ? QStringLiteral("\n\nIf you were signed out: ") + signInAdvice : QString()) +
                cookieNotes(site.cookies())};
    const SiteResult<QList<QByteArray>> replyLines = site.ReadPageLines(uploadReplyPage);
    if (!replyLines)
        return replyLines.error();
    if (isSignInPage(*replyLines))
        return signedOut(site);

    // A success page proves nothing: the site's own list, read back, says what it kept.
    const SiteResult<SiteReply> page =
        site.FetchToPageFile(QStringLiteral("GET"), cgiPath + blockPageQuery, {}, readBackPage);
    const SiteResult<QStringList> list = page ? readBlockPage(site, *page, readBackPage) : page.error();
    if (!list)
        return SiteError{list.error().kind,
                         QStringLiteral("The site answered your upload, but Bidwarden could not read your list back "
                                        "to see what it kept.\n\n") +
                             list.error().message};

    const IdSet sent = distinctIds(userIds), held = distinctIds(*list);
    check.sent = int(sent.ids.size());
    for (const QString &id : sent.ids) {
        if (held.keys.contains(id.toCaseFolded()))
            ++check.held;
        else if (check.missing.size() < kIdsNamed)
            check.missing << id;
    }
    for (const QString &id : held.ids) {
        if (sent.keys.contains(id.toCaseFolded()))
            continue;
        if (++check.extraCount <= kIdsNamed)
            check.extra << id;
    }
    return check;
}

QString UploadNotKeptMessage(const UploadCheck &check)
{
    auto named = [](const QStringList &ids, int count) {
        QString text = ids.join(QStringLiteral(", "));
        if (count > ids.size())
            text += QStringLiteral(" and %1 more").arg(count - ids.size());
        return text + QLatin1Char('.');
    };
    QString text = check.sent == 0 ? QStringLiteral("The site did not empty your blocked bidder list as asked.")
                                   : QStringLiteral("The site did not keep the list you sent: it holds %1 of the %2 "
                                                    "bidders in it.")
                                         .arg(QString::number(check.held), QString::number(check.sent));
    if (check.held < check.sent)
        text += QStringLiteral("\n\nNot on the site: ") + named(check.missing, check.sent - check.held);
    if (check.extraCount > 0)
        text += QStringLiteral("\n\nOn the site but not in your list: ") + named(check.extra, check.extraCount);
    if (check.held < check.sent && check.sent > kSiteListLimit)
        text += QStringLiteral("\n\nThe site keeps at most %1 blocked bidders.").arg(countText(kSiteListLimit));
    return text + QStringLiteral("\n\nThe site's answer to your upload is in %1, and the list it shows now is in %2.")
                      .arg(check.replyPath, check.readBackPath);
}
