// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "jobs/SaveToSite.h"

#include "core/BidderList.h"
#include "jobs/JobMessages.h"
#include "jobs/SiteConnection.h"
#include "site/BlockListUpload.h"
#include "site/NaruChecks.h"
#include "site/SiteLimits.h"
#include "site/SiteOperations.h"
#include "store/OffThread.h"

#include <QLocale>

const QString SaveToSite::FoundOnSiteReason = QStringLiteral("Found on the site");

namespace {

constexpr int kIdsNamed = 10; // ids a message lists before it just counts the rest

// Counts in the messages' own language, whatever the system's.
QString countText(qsizetype count)
{
    return QLocale(QLocale::English, QLocale::UnitedKingdom).toString(count);
}

QString bidders(qsizetype count)
{
    return count == 1 ? QStringLiteral("1 bidder") : QStringLiteral("%1 bidders").arg(countText(count));
}

// "a, b, c", or the first ten "and 3 more".
QString named(const QStringList &ids)
{
    QString text = ids.mid(0, kIdsNamed).join(QStringLiteral(", "));
    if (ids.size() > kIdsNamed)
        text += QStringLiteral(" and %1 more").arg(countText(ids.size() - kIdsNamed));
    return text;
}

// The paragraphs that matter come first: with a long list, the list itself fills the box below them.
QString question(const SyncPlan &plan, const QStringList &asked)
{
    QStringList paragraphs;
    if (!plan.unblocked.isEmpty())
        paragraphs << QStringLiteral("Saving also unblocks %1, which you deleted here.").arg(named(plan.unblocked));
    if (!asked.isEmpty())
        paragraphs << QStringLiteral("The site's list also holds %1 that your list does not: %2. Saving replaces the "
                                     "site's list, so it would remove %3 from the site's list. Keep them adds them to "
                                     "your list first; Remove them saves your list as it is.")
                          .arg(bidders(asked.size()), named(asked),
                               asked.size() == 1 ? QStringLiteral("that bidder") : QStringLiteral("them"));
    if (!plan.leftOff.isEmpty())
        paragraphs << QStringLiteral("The site keeps at most %1 blocked bidders, so saving leaves off %2 marked NARU: "
                                     "%3. They are not registered users, so they cannot bid. They stay in your list.")
                          .arg(countText(kSiteListLimit), bidders(plan.leftOff.size()), named(plan.leftOff));
    const QString listText = BidderListText(plan.send);
    paragraphs << (listText.isEmpty()
                       ? QStringLiteral("Remove all your blocked bidders?")
                       : QStringLiteral("Add ") + listText + QStringLiteral(" to your blocked bidders?"));
    return paragraphs.join(QStringLiteral("\n\n"));
}

QString tooMany(const SyncPlan &plan)
{
    return QStringLiteral("Your list holds %1 registered bidders, and the site keeps at most %2, so nothing was sent. "
                          "Delete %3 of them, then save again.")
        .arg(countText(plan.idCount), countText(kSiteListLimit), countText(plan.mustDelete));
}

} // namespace

SaveToSite::SaveToSite(SiteConnection &connection, BidderList &list, QObject *parent)
    : QObject(parent), m_connection(connection), m_list(list)
{}

SaveToSite::~SaveToSite()
{
    // A read of the session under way would hand its client to a job that is gone.
    if (m_running)
        m_connection.cancel();
}

void SaveToSite::start()
{
    if (m_running)
        return;
    m_running = true;
    m_seen.clear();
    m_formFields.clear();
    m_reads = 0;
    m_changed = false;
    m_asked.clear();
    m_keeping.clear();
    m_kept.clear();
    m_added = 0;
    m_sent = SyncPlan();
    // The session as it is now: the seller may have signed in since the last save. It is read on a
    // thread of its own, so the base is read meanwhile.
    m_connection.connect(SiteConnection::Read::Afresh,
                         [this](std::shared_ptr<const SiteClient> site) { readSiteList(std::move(site)); });
    // What the two lists last agreed on: without it, every id only the site holds is asked about.
    Result<std::optional<QStringList>> base = m_list.siteBase();
    if (!base)
        return fail(base.error() + QStringLiteral("\n\nSo nothing was sent to the site."));
    m_base = *base;
    // The local side of the plan is made off this thread while the session and the site's list are read.
    m_planning = RunOffThread([rows = m_list.rows(), base = m_base] { return SyncPlanner(rows, base); });
}

void SaveToSite::readSiteList(std::shared_ptr<const SiteClient> site)
{
    m_site = std::move(site);
    m_upload = new BlockListUpload(*m_site, this);
    KeepClientWith(m_upload, m_site);
    connect(m_upload, &BlockListUpload::siteListRead, this, &SaveToSite::siteListRead);
    connect(m_upload, &BlockListUpload::readingBack, this, [this] { emit progress(Step::ReadingBack, 0, 1); });
    connect(m_upload, &BlockListUpload::uploaded, this, &SaveToSite::uploaded);
    connect(m_upload, &BlockListUpload::failed, this, [this](const SiteError &error) { fail(SiteFailureText(error)); });
    // Saving replaces the site's list: what the site holds is read first, so that nothing on it is
    // removed without the seller having seen it.
    emit progress(Step::ReadingSiteList, 0, 1);
    m_upload->readSiteList();
}

void SaveToSite::siteListRead(const SiteListRead &read)
{
    // The form's fields as the latest page gave them: the site's tokens may change from page to page.
    m_formFields = read.formFields;
    const SyncPlan plan = planner().plan(read.ids, kSiteListLimit);
    if (!plan.canSend())
        return fail(tooMany(plan));
    if (++m_reads == 1) {
        m_seen = read.ids;
        m_asked = plan.asked;
        m_asking = true;
        emit choiceNeeded(Question{question(plan, m_asked), m_asked});
        return;
    }
    // Just before the post: what the site gained while the seller answered, or while the ids kept
    // were looked up, is asked about too; a list that keeps changing is not overwritten at all.
    const QStringList added = planner().newSiteIds(read.ids, m_seen);
    if (added.isEmpty())
        return send(plan);
    if (std::exchange(m_changed, true))
        return fail(QStringLiteral("The site's list changed again while Bidwarden was saving, so nothing was sent: it "
                                   "is being changed now, perhaps on the site's own page. Try saving again in a "
                                   "moment."));
    m_seen += read.ids;
    m_asked = added;
    m_asking = true;
    emit choiceNeeded(Question{
        QStringLiteral("Since you were asked, the site's list has changed.\n\n") + question(plan, m_asked), m_asked});
}

void SaveToSite::answer(Choice choice)
{
    if (!std::exchange(m_asking, false))
        return;
    switch (choice) {
    case Choice::Cancel:
        return finish(Outcome{});
    case Choice::Send:
        return readAgain();
    case Choice::Keep:
        return m_asked.isEmpty() ? readAgain() : keep();
    }
}

void SaveToSite::keep()
{
    // Each kept id is checked and stored as Block Bidder stores one; the list changes only once
    // every one of them has an answer and its page is kept.
    const int total = int(m_asked.size());
    m_keeping += m_asked;
    m_kept.clear();
    emit progress(Step::CheckingKept, 0, total);
    if (m_checks) // the lookups of an earlier question, done
        std::exchange(m_checks, nullptr)->deleteLater();
    m_checks = new NaruChecks(*m_site, this);
    KeepClientWith(m_checks, m_site);
    connect(m_checks, &NaruChecks::answered, this, [this, total](int index, bool naru) {
        m_kept.append(BidderList::block(m_asked.at(index), naru, FoundOnSiteReason));
        emit progress(Step::CheckingKept, index + 1, total);
    });
    connect(m_checks, &NaruChecks::failed, this, [this](int index, const SiteError &error) {
        fail(UncheckedMessage(m_asked.at(index), QString(),
                              QStringLiteral(", so nothing was added to your list or sent to the site"), error));
    });
    connect(m_checks, &NaruChecks::finished, this, &SaveToSite::storeKept);
    m_checks->start(m_asked);
}

void SaveToSite::storeKept()
{
    QString failure;
    {
        const BidderList::Session session(m_list);
        for (const Bidder &bidder : std::as_const(m_kept)) {
            if (Status added = m_list.add(bidder); !added) {
                failure = added.error() + QStringLiteral("\n\nSo nothing was sent to the site.");
                break;
            }
            ++m_added;
        }
    }
    if (!failure.isEmpty())
        return fail(failure);
    m_planner.emplace(m_list.rows(), m_base);
    readAgain();
}

const SyncPlanner &SaveToSite::planner()
{
    if (m_planning.valid())
        m_planner.emplace(m_planning.get());
    return *m_planner;
}

void SaveToSite::readAgain()
{
    emit progress(Step::ReadingAgain, 0, 1);
    m_upload->readSiteList();
}

void SaveToSite::send(const SyncPlan &plan)
{
    m_sent = plan;
    emit progress(Step::Posting, 0, 1);
    m_upload->send(plan.send, m_formFields);
}

void SaveToSite::uploaded(const UploadCheck &check, const UploadNotes &notes)
{
    QStringList paragraphs;
    if (!check.done()) {
        paragraphs << notes.warnings << UploadNotKeptMessage(check);
        return fail(paragraphs.join(QStringLiteral("\n\n")));
    }
    // The lists agree now: the next save tells what was deleted here from what the site gained.
    const Status recorded = m_base == notes.siteIds ? Status(Done{}) : m_list.setSiteBase(notes.siteIds);
    paragraphs << QStringLiteral("Added %1 to your eBay Blocked Bidders").arg(BidderListText(m_sent.send));
    // Every id the site held that is not sent is unblocked: deleted here, or Remove them.
    const QStringList unblocked = m_sent.unblocked + m_sent.asked;
    if (!unblocked.isEmpty())
        paragraphs
            << QStringLiteral("Unblocked on the site: %1 (%2).").arg(bidders(unblocked.size()), named(unblocked));
    if (!m_sent.leftOff.isEmpty())
        paragraphs << QStringLiteral("Left off for the site's limit: %1 marked NARU (%2). They stay in your list.")
                          .arg(bidders(m_sent.leftOff.size()), named(m_sent.leftOff));
    paragraphs << notes.warnings;
    if (!recorded)
        paragraphs << recorded.error() +
                          QStringLiteral("\n\nSo the next save cannot tell the bidders you delete here from those "
                                         "blocked on the site since, and asks about them.");
    finish(Outcome{Outcome::Kind::Done, paragraphs.join(QStringLiteral("\n\n"))});
}

void SaveToSite::fail(const QString &failure)
{
    // Ids kept from the site stay in the list, stored, even when the post was never sent.
    const int found = int(m_keeping.size());
    QString list = QStringLiteral("Your local list is unchanged.");
    if (m_added == found && found > 0)
        list = QStringLiteral("The bidders found on the site are in your list now.");
    else if (m_added > 0)
        list = QStringLiteral("%1 of the %2 bidders found on the site are in your list now.")
                   .arg(QString::number(m_added), QString::number(found));
    finish(Outcome{Outcome::Kind::Failed, failure + QStringLiteral("\n\n") + list});
}

void SaveToSite::finish(Outcome outcome)
{
    if (!m_running)
        return;
    m_running = false;
    m_asking = false;
    m_connection.cancel();
    // The jobs may be the ones whose signal is being handled, and the window's message runs an
    // event loop of its own: they go once control is back in this event loop, not in that one.
    if (m_checks) {
        m_checks->stop();
        std::exchange(m_checks, nullptr)->deleteLater();
    }
    if (m_upload) {
        m_upload->stop();
        std::exchange(m_upload, nullptr)->deleteLater();
    }
    m_site.reset();
    emit finished(outcome);
}

bool SaveToSite::stop()
{
    if (isPosting())
        return false;
    finish(Outcome{});
    return true;
}

bool SaveToSite::isPosting() const
{
    return m_running && m_upload && m_upload->isPosting();
}
