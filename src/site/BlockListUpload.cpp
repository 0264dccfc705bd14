// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/BlockListUpload.h"

#include "site/ParallelGets.h"

#include <QDir>

BlockListUpload::BlockListUpload(const SiteClient &site, QObject *parent)
    : QObject(parent), m_site(site), m_gets(new ParallelGets(site, this))
{
    connect(m_gets, &ParallelGets::fetched, this, [this](int, const FetchedPage &page) { fetched(page); });
    connect(m_gets, &ParallelGets::failed, this, [this](int, const SiteError &error) {
        const Step step = m_step;
        m_step = Step::Idle;
        if (step == Step::PreReading)
            fail(QStringLiteral("Bidwarden could not read the list the site holds now, so nothing was sent."), error);
        else if (step == Step::Posting)
            fail(QStringLiteral("The upload of your list did not complete."), error);
        else
            fail(QStringLiteral("The site answered your upload, but Bidwarden could not read your list back to see "
                                "what it kept."),
                 error);
    });
}

BlockListUpload::~BlockListUpload() = default;

void BlockListUpload::readSiteList(const QStringList &localIds)
{
    m_ids = localIds;
    m_step = Step::PreReading;
    m_gets->start({BlockPagePath()});
}

void BlockListUpload::send(const QStringList &userIds)
{
    m_ids = userIds;
    m_step = Step::Posting;
    m_gets->start(QList<SiteRequest>{{UploadPath(), true, UploadBody(userIds), SiteClient::MaxReplyBytes}});
}

bool BlockListUpload::stop()
{
    if (isPosting())
        return false;
    m_gets->stop();
    m_step = Step::Idle;
    return true;
}

void BlockListUpload::fail(const QString &lead, const SiteError &error)
{
    m_step = Step::Idle;
    emit failed(SiteError{error.kind, lead + QStringLiteral("\n\n") + error.message, error.signInMayHelp});
}

SiteResult<QStringList> BlockListUpload::siteList(const FetchedPage &page) const
{
    // The list is kept as the site sent it, for the seller to look at when it is not what was expected.
    if (SiteResult<Done> written = m_site.WritePageFile(Page::ReadBack, page.body); !written)
        return written.error();
    return BlockedListAnswer(m_site, page.reply, SplitPageLines(page.body));
}

void BlockListUpload::fetched(const FetchedPage &page)
{
    switch (m_step) {
    case Step::Idle:
        return;
    case Step::PreReading: {
        const SiteResult<QStringList> list = siteList(page);
        if (!list)
            return fail(QStringLiteral("Bidwarden could not read the list the site holds now, so nothing was sent."),
                        list.error());
        m_step = Step::Idle;
        emit siteListRead(SiteOnlyIds(m_ids, *list));
        return;
    }
    case Step::Posting: {
        const QString lead = QStringLiteral("The upload of your list did not complete.");
        if (SiteResult<Done> written = m_site.WritePageFile(Page::UploadReply, page.body); !written)
            return fail(lead, written.error());
        if (SiteResult<Done> answered = UploadAnswer(m_site, page.reply, SplitPageLines(page.body)); !answered) {
            m_step = Step::Idle;
            emit failed(answered.error());
            return;
        }
        // A success page proves nothing: the site's own list, read back, says what it kept.
        m_step = Step::ReadingBack;
        m_gets->start({BlockPagePath()});
        emit readingBack();
        return;
    }
    case Step::ReadingBack: {
        const SiteResult<QStringList> list = siteList(page);
        if (!list)
            return fail(QStringLiteral("The site answered your upload, but Bidwarden could not read your list back "
                                       "to see what it kept."),
                        list.error());
        UploadCheck check = CompareWithSite(m_ids, *list);
        check.replyPath = QDir::toNativeSeparators(m_site.pagePath(Page::UploadReply));
        check.readBackPath = QDir::toNativeSeparators(m_site.pagePath(Page::ReadBack));
        m_step = Step::Idle;
        emit uploaded(check);
        return;
    }
    }
}
