// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/SiteOperations.h"

#include <QDir>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>

const QString UploadReplyPage = QStringLiteral("response2.htm");
const QString ReadBackPage = QStringLiteral("readback.htm");

namespace {

const QString cgiPath = QStringLiteral("/aw-cgi/eBayISAPI.dll");
const QString blockPageQuery = QStringLiteral("?BidderBlockLogin");
const QString naruPage = QStringLiteral("naru.htm");
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
    return FindListTexts(lines).isEmpty() && HasPasswordField(lines);
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
    const QList<QByteArrayView> listTexts = FindListTexts(lines);
    if (!listTexts.isEmpty()) {
        // The last text area on the page wins.
        QStringList entries = SplitBlockedList(listTexts.last().toByteArray());
        entries.removeAll(QString());
        if (entries.size() <= kImportLimit)
            return entries;
        return SiteError{SiteError::Kind::NotAList,
                         QStringLiteral("The page the site sent from %1 lists %2 entries, more than any seller's "
                                        "list can hold (the site keeps at most %3), so it is not the seller's list.")
                             .arg(url, countText(entries.size()), countText(kSiteListLimit))};
    }
    return SiteError{SiteError::Kind::NotAList,
                     QStringLiteral("The site's bidder-block page at %1 showed no blocked bidder list. If you were "
                                    "signed out: ")
                             .arg(url) +
                         signInAdvice + cookieNotes(site.cookies())};
}

namespace {

// The ids as the site counts them: split where the site splits its list (" bob" is "bob"), each
// once whatever its letter case, and no empty entries.
struct IdSet
{
    QStringList ids;    // the first spelling of each, in order
    QStringList folded; // the same, case-folded
    QSet<QString> keys; // the same again, to look up

    void add(const QString &id)
    {
        // Most ids are in lower case already: they are their own key, with no copy made.
        QString key = id;
        for (const QChar c : id)
            if (c.unicode() >= 0x80 || (c >= u'A' && c <= u'Z')) {
                key = id.toCaseFolded();
                break;
            }
        const qsizetype before = keys.size();
        if (id.isEmpty() || (keys.insert(key), keys.size() == before))
            return;
        ids << id;
        folded << key;
    }
};

bool hasSeparator(const QString &id)
{
    for (const QChar c : id)
        if (c == u' ' || c == u',' || c == u';' || c == u'\r')
            return true;
    return false;
}

IdSet distinctIds(const QStringList &ids)
{
    IdSet set;
    set.keys.reserve(ids.size());
    set.ids.reserve(ids.size());
    set.folded.reserve(ids.size());
    for (const QString &id : ids) {
        if (!hasSeparator(id)) { // nearly every id is one id as it stands; only the others are split
            set.add(id);
            continue;
        }
        for (const QString &piece : SplitBlockedList(id.toUtf8()))
            set.add(piece);
    }
    return set;
}

QString namedIds(const QStringList &ids, qsizetype count)
{
    QString text = ids.join(QStringLiteral(", "));
    if (count > ids.size())
        text += QStringLiteral(" and %1 more").arg(countText(count - ids.size()));
    return text + QLatin1Char('.');
}

bool isIdChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-') ||
           c == QLatin1Char('*');
}

} // namespace

namespace {

// Every id the site accepts today is made of plain characters and goes out byte for byte; any other
// byte would break the address or the form (a space, "&", "=", "%"), so it is escaped.
void appendEncoded(QByteArray &out, const QString &userId)
{
    static const char hex[] = "0123456789ABCDEF";
    // Most ids are plain ASCII, which needs no conversion to UTF-8 first.
    bool plain = true;
    for (const QChar c : userId)
        plain = plain && c.unicode() < 0x80 && isPlainIdByte(char(c.unicode()));
    if (plain) {
        for (const QChar c : userId)
            out += char(c.unicode());
        return;
    }
    for (const char c : userId.toUtf8()) {
        if (isPlainIdByte(c)) {
            out += c;
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
}

} // namespace

QByteArray EncodeUserId(const QString &userId)
{
    QByteArray out;
    out.reserve(userId.size());
    appendEncoded(out, userId);
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

QString UploadPath()
{
    return cgiPath;
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

    if (naru)
        return true;
    // An error page says nothing about the id: calling it "registered" would turn a site outage
    // into wrong answers in the store.
    if (reply.status >= 400)
        return SiteError{SiteError::Kind::Failed,
                         QStringLiteral("The lookup of \"%1\" at %2 got HTTP status %3 and no answer.")
                                 .arg(userId, site.baseUrl() + NaruLookupPath(userId), QString::number(reply.status)) +
                             cookieNotes(site.cookies())};
    // "Registered" needs the id's own history page; a maintenance or bot-check page is no answer.
    if (PageNamesId(lines, userId))
        return false;
    return SiteError{SiteError::Kind::NoAnswer,
                     QStringLiteral("The site's page for \"%1\" named neither the id nor \"not a registered user\", "
                                    "so it said nothing about it (the site may be down for maintenance, or checking "
                                    "for robots). The page is kept in %2.")
                             .arg(userId, QDir::toNativeSeparators(site.pagePath(naruPage))) +
                         cookieNotes(site.cookies())};
}

bool HasPasswordField(const QList<QByteArray> &lines)
{
    // Any letter case, the value quoted either way or not at all, other attributes around it; the
    // tag may run over several lines.
    static const QRegularExpression passwordType(
        QStringLiteral(R"(\stype\s*=\s*(?:"password"|'password'|password(?=[\s/>])))"),
        QRegularExpression::CaseInsensitiveOption);
    const QByteArray text = lines.join('\n');
    // Nearly every page has no such field: the word alone rules it out, far faster than the pattern.
    if (!QLatin1String(text).contains(QLatin1String("password"), Qt::CaseInsensitive))
        return false;
    // Tag by tag, each looked at once: a page of unclosed tags costs no more than its length.
    const QLatin1String page(text);
    for (qsizetype at = page.indexOf(QLatin1String("<input"), 0, Qt::CaseInsensitive); at >= 0;) {
        const qsizetype bodyStart = at + 6;
        qsizetype end = page.indexOf(QLatin1Char('>'), bodyStart);
        end = end < 0 ? page.size() : end + 1;
        const QString tag = QString(page.sliced(bodyStart, end - bodyStart));
        if (!tag.isEmpty() && tag.at(0).isSpace() && tag.contains(passwordType))
            return true;
        at = page.indexOf(QLatin1String("<input"), end, Qt::CaseInsensitive);
    }
    return false;
}

QList<QByteArrayView> FindListTexts(const QList<QByteArray> &lines)
{
    static const QByteArray name("bidderlist");
    static const QByteArray closing("</textarea>");
    QList<QByteArrayView> found;
    int looked = 0;
    for (const QByteArray &line : lines) {
        // Every name before a closing tag ends its text at that same tag, so it is searched for
        // again only once a name stands past it: one pass over the line in all.
        qsizetype close = -1;
        for (qsizetype i = line.indexOf(name); i >= 0; i = line.indexOf(name, i + 1)) {
            if (++looked > kListNamesLooked)
                return found;
            // The name and the one character after it (the tag's ">") are skipped.
            const qsizetype start = i + name.size() + 1;
            if (start >= line.size())
                continue;
            if (close < start && close != -2)
                close = line.indexOf(closing, start);
            if (close < 0) {
                close = -2; // no closing tag in the rest of the line
                continue;
            }
            found.append(QByteArrayView(line).sliced(start, close - start));
        }
    }
    return found;
}

QString DecodeHtmlText(const QByteArray &page)
{
    static const QHash<QString, QChar> named{{QStringLiteral("amp"), u'&'},   {QStringLiteral("lt"), u'<'},
                                             {QStringLiteral("gt"), u'>'},    {QStringLiteral("quot"), u'"'},
                                             {QStringLiteral("apos"), u'\''}, {QStringLiteral("nbsp"), u' '}};
    const QString text = QString::fromUtf8(page);
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A reference is short: the ";" is looked for only a few characters on, and a lone "&" stays.
        qsizetype semicolon = -1;
        if (text.at(i) == u'&')
            for (qsizetype j = i + 1; j < qMin(text.size(), i + 12) && semicolon < 0; ++j)
                if (text.at(j) == u';')
                    semicolon = j;
        if (semicolon < 0) {
            out += text.at(i);
            continue;
        }
        const QString ref = text.sliced(i + 1, semicolon - i - 1);
        bool ok = false;
        char32_t code = 0;
        if (ref.startsWith(u"#x", Qt::CaseInsensitive))
            code = ref.sliced(2).toUInt(&ok, 16);
        else if (ref.startsWith(u'#'))
            code = ref.sliced(1).toUInt(&ok, 10);
        if (ok && code > 0 && code <= 0x10FFFF) {
            out += QString::fromUcs4(&code, 1);
            i = semicolon;
        } else if (const auto it = named.constFind(ref.toLower()); it != named.constEnd()) {
            out += *it;
            i = semicolon;
        } else {
            out += text.at(i);
        }
    }
    return out;
}

bool PageNamesId(const QList<QByteArray> &lines, const QString &userId)
{
    const QString id = userId.trimmed();
    if (id.isEmpty())
        return false;
    const QString text = DecodeHtmlText(lines.join('\n'));
    for (qsizetype at = text.indexOf(id, 0, Qt::CaseInsensitive); at >= 0;
         at = text.indexOf(id, at + 1, Qt::CaseInsensitive)) {
        const qsizetype after = at + id.size();
        if ((at == 0 || !isIdChar(text.at(at - 1))) && (after == text.size() || !isIdChar(text.at(after))))
            return true;
    }
    return false;
}

QStringList SplitBlockedList(const QByteArray &listText)
{
    if (listText.isEmpty())
        return {};
    // As if, once each and left to right, blanks, semicolons and CR LF pairs became commas and every
    // pair of commas one comma: a run of n separators counts as ceil(n/2) commas, so "a, b" gives
    // two entries and "a,,,b" keeps an empty one. One pass, without the copies.
    QStringList entries;
    const qsizetype size = listText.size();
    const char *text = listText.constData();
    qsizetype start = 0, i = 0;
    while (i <= size) {
        auto separatorAt = [&](qsizetype at) -> int { // its length, 0 for none
            if (at >= size)
                return 0;
            if (text[at] == ',' || text[at] == ' ' || text[at] == ';')
                return 1;
            return text[at] == '\r' && at + 1 < size && text[at + 1] == '\n' ? 2 : 0;
        };
        if (i < size && separatorAt(i) == 0) {
            ++i;
            continue;
        }
        entries.append(QString::fromUtf8(text + start, i - start));
        int run = 0;
        for (int length; (length = separatorAt(i)) > 0; i += length)
            ++run;
        for (int empty = 1; empty < (run + 1) / 2; ++empty)
            entries.append(QString());
        if (run == 0)
            break; // the end of the text
        start = i;
    }
    return entries;
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
        appendEncoded(body, userIds.at(i));
    }
    body += '&';
    return body;
}

QString UploadQuestion(const QStringList &userIds, const QStringList &siteOnlyIds)
{
    const QString listText = BidderListText(userIds);
    QString question = listText.isEmpty()
                           ? QStringLiteral("Remove all your blocked bidders?")
                           : QStringLiteral("Add ") + listText + QStringLiteral(" to your blocked bidders?");
    if (!siteOnlyIds.isEmpty())
        question += QStringLiteral("\n\nThe site's list also holds %1 that your list does not: %2 Saving replaces the "
                                   "site's list, so it would remove %3 from the site's list. Keep them adds them "
                                   "to your list first; Remove them saves your list as it is.")
                        .arg(siteOnlyIds.size() == 1 ? QStringLiteral("1 bidder")
                                                     : QStringLiteral("%1 bidders").arg(countText(siteOnlyIds.size())),
                             namedIds(siteOnlyIds.mid(0, kIdsNamed), siteOnlyIds.size()),
                             siteOnlyIds.size() == 1 ? QStringLiteral("that bidder") : QStringLiteral("them"));
    const qsizetype count = distinctIds(userIds).ids.size() + siteOnlyIds.size();
    if (count > kSiteListLimit)
        question +=
            QStringLiteral("\n\nThe site keeps at most %1 blocked bidders, so it will not keep all %2 of these.")
                .arg(countText(kSiteListLimit), countText(count));
    return question;
}

SiteResult<Done> UploadAnswer(const SiteClient &site, const SiteReply &reply, const QList<QByteArray> &lines)
{
    // A redirect is no success either: after a post it usually leads to the sign-in page.
    if (reply.status < 200 || reply.status > 299)
        return SiteError{
            SiteError::Kind::Failed,
            QStringLiteral("The site did not take your list: it answered with status %1. Its answer is in %2.")
                    .arg(QString::number(reply.status), QDir::toNativeSeparators(site.pagePath(UploadReplyPage))) +
                (reply.status / 100 == 3 ? QStringLiteral("\n\nIf you were signed out: ") + signInAdvice : QString()) +
                cookieNotes(site.cookies())};
    if (isSignInPage(lines))
        return signedOut(site);
    return Done{};
}

namespace {

// The usual case, told without building any set: the site shows the ids in the order they were
// sent, each one id as it stands, none empty.
bool sameIds(const QStringList &ours, const QStringList &site)
{
    if (ours.size() != site.size())
        return false;
    for (qsizetype i = 0; i < ours.size(); ++i)
        if (ours.at(i).isEmpty() || hasSeparator(ours.at(i)) ||
            (ours.at(i) != site.at(i) && ours.at(i).compare(site.at(i), Qt::CaseInsensitive)))
            return false;
    return true;
}

} // namespace

UploadCheck CompareWithSite(const QStringList &sentIds, const QStringList &siteIds)
{
    UploadCheck check;
    if (sameIds(sentIds, siteIds)) {
        check.sent = check.held = int(sentIds.size());
        return check;
    }
    const IdSet sent = distinctIds(sentIds), held = distinctIds(siteIds);
    check.sent = int(sent.ids.size());
    for (qsizetype i = 0; i < sent.ids.size(); ++i) {
        if (held.keys.contains(sent.folded.at(i)))
            ++check.held;
        else if (check.missing.size() < kIdsNamed)
            check.missing << sent.ids.at(i);
    }
    for (qsizetype i = 0; i < held.ids.size(); ++i) {
        if (sent.keys.contains(held.folded.at(i)))
            continue;
        if (++check.extraCount <= kIdsNamed)
            check.extra << held.ids.at(i);
    }
    return check;
}

QStringList SiteOnlyIds(const QStringList &localIds, const QStringList &siteIds)
{
    if (sameIds(localIds, siteIds))
        return {};
    const IdSet local = distinctIds(localIds), site = distinctIds(siteIds);
    QStringList only;
    for (qsizetype i = 0; i < site.ids.size(); ++i)
        if (!local.keys.contains(site.folded.at(i)))
            only << site.ids.at(i);
    return only;
}

QString UploadNotKeptMessage(const UploadCheck &check)
{
    QString text = check.sent == 0 ? QStringLiteral("The site did not empty your blocked bidder list as asked.")
                                   : QStringLiteral("The site did not keep the list you sent: it holds %1 of the %2 "
                                                    "bidders in it.")
                                         .arg(QString::number(check.held), QString::number(check.sent));
    if (check.held < check.sent)
        text += QStringLiteral("\n\nNot on the site: ") + namedIds(check.missing, check.sent - check.held);
    if (check.extraCount > 0)
        text += QStringLiteral("\n\nOn the site but not in your list: ") + namedIds(check.extra, check.extraCount);
    if (check.held < check.sent && check.sent > kSiteListLimit)
        text += QStringLiteral("\n\nThe site keeps at most %1 blocked bidders.").arg(countText(kSiteListLimit));
    return text + QStringLiteral("\n\nThe site's answer to your upload is in %1, and the list it shows now is in %2.")
                      .arg(check.replyPath, check.readBackPath);
}
