// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/SitePages.h"

#include "site/SiteAddresses.h"

#include <QDir>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <array>
#include <vector>

namespace {

const QString signInAdvice =
    QStringLiteral("Sign in to the site in your web browser and choose \"Keep me signed in\"; then try again.");

// Counts in the messages' own language, whatever the system's.
QString countText(qsizetype count)
{
    return QLocale(QLocale::English, QLocale::UnitedKingdom).toString(count);
}

// Where the program looked for the browser's session and what went wrong there, when something did:
// a session the program could not read looks to the site like no session at all.
QString cookieNotes(const CookieJar &cookies)
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
                cookieNotes(site.cookies()),
            true};
}

// What a message adds when the reply may have been the site's way of asking the seller to sign in.
QString ifSignedOut()
{
    return QStringLiteral("If you were signed out: ") + signInAdvice;
}

SiteError overlong(const SiteClient &site, const QString &path)
{
    return {SiteError::Kind::Failed,
            QStringLiteral("The page the site sent from %1 has more than %2 lines, far more than any page of the "
                           "site, so it was not read.")
                .arg(site.baseUrl() + path, countText(kMaxPageLines))};
}

// The sign-in page asks for a password. The bidder-block page's own form does too, but it shows the list.
bool isSignInPage(const QList<QByteArray> &lines)
{
    return FindListTexts(lines).isEmpty() && HasPasswordField(lines);
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Whether the page declares UTF-8, by a byte-order mark or a <meta> in its first 1024 bytes, where
// a browser looks for it.
bool declaresUtf8(const QByteArray &page)
{
    if (page.startsWith("\xEF\xBB\xBF"))
        return true;
    const QLatin1String head(page.constData(), qMin<qsizetype>(page.size(), 1024));
    const QLatin1String meta("<meta"), charset("charset");
    for (qsizetype at = head.indexOf(meta, 0, Qt::CaseInsensitive); at >= 0;
         at = head.indexOf(meta, at + meta.size(), Qt::CaseInsensitive)) {
        const qsizetype end = head.indexOf(QLatin1Char('>'), at);
        const QLatin1String tag = head.sliced(at, (end < 0 ? head.size() : end) - at);
        qsizetype name = tag.indexOf(charset, 0, Qt::CaseInsensitive);
        if (name < 0)
            continue;
        name += charset.size();
        for (QChar c; name < tag.size() && ((c = tag.at(name)) == u' ' || c == u'=' || c == u'"' || c == u'\'');)
            ++name;
        const QLatin1String value = tag.sliced(name);
        return value.startsWith(QLatin1String("utf-8"), Qt::CaseInsensitive) ||
               value.startsWith(QLatin1String("utf8"), Qt::CaseInsensitive);
    }
    return false;
}

// Where the markup that starts with the "<" at `at` ends, or -1 when that "<" is text. Markup left
// open runs to the end of the page.
qsizetype markupEnd(QStringView text, qsizetype at)
{
    const qsizetype size = text.size();
    const auto past = [size](qsizetype found, qsizetype length) { return found < 0 ? size : found + length; };
    const QStringView rest = text.sliced(at);
    if (rest.startsWith(u"<!--"))
        return past(text.indexOf(u"-->", at + 4), 3);
    if (rest.size() < 2)
        return -1;
    const QChar next = rest.at(1);
    if (next == u'!' || next == u'?' || (next == u'/' && rest.size() > 2 && isAsciiLetter(rest.at(2))))
        return past(text.indexOf(u'>', at), 1);
    if (!isAsciiLetter(next))
        return -1;
    qsizetype i = at + 1;
    while (i < size && (isAsciiLetter(text.at(i)) || text.at(i).isDigit()))
        ++i;
    const QStringView name = text.sliced(at + 1, i - at - 1);
    // An attribute's quoted value may hold a ">".
    QChar last;
    for (; i < size && text.at(i) != u'>'; ++i) {
        const QChar c = text.at(i);
        if ((c == u'"' || c == u'\'') && last == u'=') {
            i = text.indexOf(c, i + 1);
            if (i < 0)
                return size;
        }
        if (!c.isSpace())
            last = c;
    }
    if (i >= size)
        return size;
    // A script or a style is no text either, up to its end tag.
    static const QStringView raw[][2] = {{u"script", u"</script"}, {u"style", u"</style"}};
    for (const auto &[element, endTag] : raw)
        if (name.compare(element, Qt::CaseInsensitive) == 0) {
            const qsizetype close = text.indexOf(endTag, i, Qt::CaseInsensitive);
            return close < 0 ? size : past(text.indexOf(u'>', close), 1);
        }
    return i + 1;
}

// Appends the character the reference at `at` ("&...;") stands for and returns where it ends, or
// -1 when the "&" is text.
qsizetype appendReference(QString &out, QStringView text, qsizetype at)
{
    static const QHash<QString, QChar> named{{QStringLiteral("amp"), u'&'},   {QStringLiteral("lt"), u'<'},
                                             {QStringLiteral("gt"), u'>'},    {QStringLiteral("quot"), u'"'},
                                             {QStringLiteral("apos"), u'\''}, {QStringLiteral("nbsp"), u' '}};
    // A reference is short: the ";" is looked for only a few characters on.
    const qsizetype semicolon = text.sliced(at, qMin<qsizetype>(12, text.size() - at)).indexOf(u';');
    if (semicolon < 0)
        return -1;
    const QStringView ref = text.sliced(at + 1, semicolon - 1);
    bool ok = false;
    char32_t code = 0;
    if (ref.startsWith(u"#x", Qt::CaseInsensitive))
        code = ref.sliced(2).toUInt(&ok, 16);
    else if (ref.startsWith(u'#'))
        code = ref.sliced(1).toUInt(&ok, 10);
    if (ok && code > 0 && code <= 0x10FFFF) {
        out += QString::fromUcs4(&code, 1);
        return at + semicolon + 1;
    }
    if (const auto it = named.constFind(ref.toString().toLower()); it != named.constEnd()) {
        out += *it;
        return at + semicolon + 1;
    }
    return -1;
}

bool isIdChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'.' || c == u'_' || c == u'-' || c == u'*';
}

// Whether `word` stands in the text as a word of its own, which a final "." may end: one pass over
// the text (Knuth-Morris-Pratt), so that a page of near-matches costs no more than its length.
bool standsAsWord(QStringView text, QStringView word)
{
    const qsizetype length = word.size();
    if (length == 0)
        return false;
    std::vector<qsizetype> fallback(size_t(length), 0);
    for (qsizetype i = 1, k = 0; i < length; ++i) {
        while (k > 0 && word[i] != word[k])
            k = fallback[size_t(k - 1)];
        if (word[i] == word[k])
            ++k;
        fallback[size_t(i)] = k;
    }
    const qsizetype size = text.size();
    for (qsizetype i = 0, k = 0; i < size; ++i) {
        while (k > 0 && text[i] != word[k])
            k = fallback[size_t(k - 1)];
        if (text[i] == word[k])
            ++k;
        if (k < length)
            continue;
        k = fallback[size_t(k - 1)];
        const qsizetype at = i + 1 - length, after = i + 1;
        const bool starts = at == 0 || !isIdChar(text[at - 1]);
        const bool ends = after == size || !isIdChar(text[after]) ||
                          (text[after] == u'.' && (after + 1 == size || !isIdChar(text[after + 1])));
        if (starts && ends)
            return true;
    }
    return false;
}

} // namespace

QList<QByteArray> SplitPageLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype end; lines.size() <= kMaxPageLines && (end = text.indexOf('\r', start)) >= 0;) {
        lines.append(text.mid(start, end - start));
        start = end + (end + 1 < text.size() && text.at(end + 1) == '\n' ? 2 : 1);
    }
    // A final line end closes the last line; it does not open an empty one.
    if (start < text.size() && lines.size() <= kMaxPageLines)
        lines.append(text.mid(start));
    return lines;
}

SiteResult<bool> NaruAnswer(const SiteClient &site, const QString &userId, const SiteReply &reply,
                            const QList<QByteArray> &lines)
{
    if (lines.size() > kMaxPageLines)
        return overlong(site, NaruLookupPath(userId));
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
                             .arg(userId, QDir::toNativeSeparators(site.pagePath(Page::Lookup))) +
                         cookieNotes(site.cookies())};
}

SiteResult<QStringList> BlockedListAnswer(const SiteClient &site, const SiteReply &reply,
                                          const QList<QByteArray> &lines)
{
    if (lines.size() > kMaxPageLines)
        return overlong(site, BlockPagePath());
    const QList<QByteArrayView> listTexts = FindListTexts(lines);
    if (reply.redirectedOffPath || (listTexts.isEmpty() && HasPasswordField(lines)))
        return signedOut(site);
    const QString url = site.baseUrl() + BlockPagePath();
    // Whatever an error page shows, the site did not serve the seller's list with it.
    if (reply.status >= 400)
        return SiteError{SiteError::Kind::Failed,
                         QStringLiteral("The site's bidder-block page at %1 answered with HTTP status %2.")
                                 .arg(url, QString::number(reply.status)) +
                             cookieNotes(site.cookies())};
    if (!listTexts.isEmpty()) {
        // The last text area on the page wins.
        QStringList entries = SplitBlockedList(listTexts.last());
        entries.removeAll(QString());
        if (entries.size() <= kImportLimit)
            return entries;
        return SiteError{SiteError::Kind::NotAList,
                         QStringLiteral("The page the site sent from %1 lists more than %2 entries, more than any "
                                        "seller's list can hold (the site keeps at most %3), so it is not the "
                                        "seller's list.")
                             .arg(url, countText(kImportLimit), countText(kSiteListLimit))};
    }
    return SiteError{SiteError::Kind::NotAList,
                     QStringLiteral("The site's bidder-block page at %1 showed no blocked bidder list. ").arg(url) +
                         ifSignedOut() + cookieNotes(site.cookies()),
                     true};
}

SiteResult<Done> UploadAnswer(const SiteClient &site, const SiteReply &reply, const QList<QByteArray> &lines)
{
    if (lines.size() > kMaxPageLines)
        return overlong(site, UploadPath());
    // A redirect is no success either: after a post it usually leads to the sign-in page.
    if (reply.status < 200 || reply.status > 299) {
        const bool redirected = reply.status / 100 == 3;
        return SiteError{
            SiteError::Kind::Failed,
            QStringLiteral("The site did not take your list: it answered with status %1. Its answer is in %2.")
                    .arg(QString::number(reply.status), QDir::toNativeSeparators(site.pagePath(Page::UploadReply))) +
                (redirected ? QStringLiteral("\n\n") + ifSignedOut() : QString()) + cookieNotes(site.cookies()),
            redirected};
    }
    if (isSignInPage(lines))
        return signedOut(site);
    return Done{};
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
    const QString text = declaresUtf8(page) ? QString::fromUtf8(page) : QString::fromLatin1(page);
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text.at(i);
        qsizetype end = -1;
        if (c == u'<' && (end = markupEnd(text, i)) >= 0)
            out += u' '; // markup parts words, as a page shows them
        else if (c != u'&' || (end = appendReference(out, text, i)) < 0)
            out += c;
        i = end >= 0 ? end : i + 1;
    }
    return out;
}

QString DecodeReferences(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype end = text.at(i) == u'&' ? appendReference(out, text, i) : -1;
        if (end < 0)
            out += text.at(i);
        i = end >= 0 ? end : i + 1;
    }
    return out;
}

bool PageNamesId(const QList<QByteArray> &lines, const QString &userId)
{
    const QString id = userId.trimmed();
    if (id.isEmpty())
        return false;
    const QString text = DecodeHtmlText(lines.join('\n'));
    const QString lower = id.toLower();
    return standsAsWord(text, id) || (lower != id && standsAsWord(text, lower));
}

QStringList SplitBlockedList(QByteArrayView listText)
{
    QStringList entries;
    const qsizetype size = listText.size();
    const char *text = listText.data();
    if (size == 0)
        return entries;
    // One pass, without the copies that replacing each separator would make.
    int named = 0, empty = 0;
    const auto add = [&](qsizetype from, qsizetype to) {
        if (from < to)
            ++named;
        else if (empty++ >= kMaxListEntries)
            return;
        entries.append(QString::fromUtf8(text + from, to - from));
    };
    const auto separatorAt = [&](qsizetype at) -> int { // its length, 0 for none
        if (at >= size)
            return 0;
        if (text[at] == ',' || text[at] == ' ' || text[at] == ';')
            return 1;
        return text[at] == '\r' && at + 1 < size && text[at + 1] == '\n' ? 2 : 0;
    };
    // The bytes that may start a separator; a CR does only before an LF.
    static constexpr auto mayStart = [] {
        std::array<bool, 256> table{};
        table[','] = table[' '] = table[';'] = table['\r'] = true;
        return table;
    }();
    for (qsizetype start = 0, i = 0; i <= size && named < kMaxListEntries;) {
        while (i < size && !mayStart[static_cast<unsigned char>(text[i])])
            ++i;
        if (i < size && separatorAt(i) == 0) {
            ++i;
            continue;
        }
        add(start, i);
        qsizetype run = 0;
        for (int length; (length = separatorAt(i)) > 0; i += length)
            ++run;
        for (qsizetype extra = 1; extra < (run + 1) / 2 && empty <= kMaxListEntries; ++extra)
            add(i, i);
        if (run == 0)
            break; // the end of the text
        start = i;
    }
    return entries;
}
