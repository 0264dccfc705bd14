// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/UploadCheck.h"

#include <QLocale>
#include <QSet>

namespace {

constexpr int kIdsNamed = 10; // ids a message lists before it just counts the rest

// Counts in the messages' own language, whatever the system's.
QString countText(qsizetype count)
{
    return QLocale(QLocale::English, QLocale::UnitedKingdom).toString(count);
}

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

} // namespace

QString BidderListText(const QStringList &userIds)
{
    return userIds.join(QStringLiteral(", "));
}

bool SameIdsInOrder(const QStringList &ours, const QStringList &site)
{
    if (ours.size() != site.size())
        return false;
    for (qsizetype i = 0; i < ours.size(); ++i)
        if (ours.at(i).isEmpty() || hasSeparator(ours.at(i)) ||
            (ours.at(i) != site.at(i) && ours.at(i).compare(site.at(i), Qt::CaseInsensitive)))
            return false;
    return true;
}

UploadCheck CompareWithSite(const QStringList &sentIds, const QStringList &siteIds)
{
    UploadCheck check;
    if (SameIdsInOrder(sentIds, siteIds)) {
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
