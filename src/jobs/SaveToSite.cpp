// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "jobs/SaveToSite.h"

#include "core/BidderList.h"
#include "jobs/JobMessages.h"
#include "jobs/SiteConnection.h"
#include "site/BlockListUpload.h"
#include "site/NaruChecks.h"
#include "site/SiteOperations.h"

const QString SaveToSite::FoundOnSiteReason = QStringLiteral("Found on the site");

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
    m_siteOnly.clear();
    m_kept.clear();
    m_added = 0;
    m_listText.clear();
    // The session as it is now: the seller may have signed in since the last save.
    m_connection.connect(SiteConnection::Read::Afresh,
                         [this](std::shared_ptr<const SiteClient> site) { readSiteList(std::move(site)); });
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
    m_upload->readSiteList(m_list.userNames());
}

void SaveToSite::siteListRead(const QStringList &siteOnlyIds)
{
    m_siteOnly = siteOnlyIds;
    m_asking = true;
    emit choiceNeeded(Question{UploadQuestion(m_list.userNames(), siteOnlyIds), siteOnlyIds});
}

void SaveToSite::answer(Choice choice)
{
    if (!std::exchange(m_asking, false))
        return;
    switch (choice) {
    case Choice::Cancel:
        return finish(Outcome{});
    case Choice::Send:
        return send();
    case Choice::Keep:
        return m_siteOnly.isEmpty() ? send() : keepSiteOnly();
    }
}

void SaveToSite::keepSiteOnly()
{
    // Each kept id is checked and stored as Block Bidder stores one; the list changes only once
    // every one of them has an answer and its page is kept.
    const int total = int(m_siteOnly.size());
    emit progress(Step::CheckingKept, 0, total);
    m_checks = new NaruChecks(*m_site, this);
    KeepClientWith(m_checks, m_site);
    connect(m_checks, &NaruChecks::answered, this, [this, total](int index, bool naru) {
        m_kept.append(BidderList::block(m_siteOnly.at(index), naru, FoundOnSiteReason));
        emit progress(Step::CheckingKept, index + 1, total);
    });
    connect(m_checks, &NaruChecks::failed, this, [this](int index, const SiteError &error) {
        fail(UncheckedMessage(m_siteOnly.at(index), QString(),
                              QStringLiteral(", so nothing was added to your list or sent to the site"), error));
    });
    connect(m_checks, &NaruChecks::finished, this, &SaveToSite::storeKept);
    m_checks->start(m_siteOnly);
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
    send();
}

void SaveToSite::send()
{
    const QStringList userNames = m_list.userNames();
    m_listText = BidderListText(userNames);
    emit progress(Step::Posting, 0, 1);
    m_upload->send(userNames);
}

void SaveToSite::uploaded(const UploadCheck &check)
{
    if (!check.done())
        return fail(UploadNotKeptMessage(check));
    finish(Outcome{Outcome::Kind::Done, QStringLiteral("Added %1 to your eBay Blocked Bidders").arg(m_listText)});
}

void SaveToSite::fail(const QString &failure)
{
    // Ids kept from the site stay in the list, stored, even when the post was never sent.
    const int found = int(m_siteOnly.size());
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
