// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/BlockListUpload.h"

#include "site/ParallelGets.h"

#include <QDir>

namespace {

const QString notRead = QStringLiteral("Bidwarden could not read the list the site holds now, so nothing was sent.");

QString notReadBack(bool replyLost)
{
    return replyLost ? QStringLiteral("The site did not answer your upload, and Bidwarden could not read your list "
                                      "back either, so it cannot tell whether the site took your list.")
                     : QStringLiteral("The site answered your upload, but Bidwarden could not read your list back to "
                                      "see what it kept.");
}

} // namespace

BlockListUpload::BlockListUpload(const SiteClient &site, QObject *parent)
    : QObject(parent), m_site(site), m_gets(new ParallelGets(site, this))
{
    connect(m_gets, &ParallelGets::fetched, this, [this](int, const FetchedPage &page) { fetched(page); });
    connect(m_gets, &ParallelGets::failed, this, [this](int, const SiteError &error) {
        switch (m_step) {
        case Step::Idle:
            return;
        case Step::PreReading:
            return fail(notRead, error);
        case Step::Posting:
            // The post may have reached the site and been taken even so: its list says.
            m_notes.replyLost = true;
            note(QStringLiteral("The site did not answer your upload, so whether it took your list is known only "
                                "from the list read back."),
                 error);
            return readBack();
        case Step::ReadingBack:
            return fail(notReadBack(m_notes.replyLost), error);
        }
    });
}

BlockListUpload::~BlockListUpload() = default;

void BlockListUpload::readSiteList()
{
    m_step = Step::PreReading;
    m_gets->start({BlockPagePath()});
}

void BlockListUpload::send(const QStringList &userIds, const QList<FormField> &formFields)
{
    m_ids = userIds;
    m_notes = UploadNotes();
    m_step = Step::Posting;
    m_gets->start(
        QList<SiteRequest>{{UploadPath(), true, UploadBodyWithFields(userIds, formFields), SiteClient::MaxReplyBytes}});
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
    QString message = lead + QStringLiteral("\n\n") + error.message;
    for (const QString &warning : std::as_const(m_notes.warnings))
        message += QStringLiteral("\n\n") + warning;
    emit failed(SiteError{error.kind, message, error.signInMayHelp || m_notes.signInMayHelp});
}

void BlockListUpload::note(const QString &lead, const SiteError &error)
{
    m_notes.warnings << (lead.isEmpty() ? error.message : lead + QStringLiteral("\n\n") + error.message);
    m_notes.signInMayHelp = m_notes.signInMayHelp || error.signInMayHelp;
}

void BlockListUpload::readBack()
{
    m_step = Step::ReadingBack;
    m_gets->start({BlockPagePath()});
    emit readingBack();
}

SiteResult<QStringList> BlockListUpload::siteList(const FetchedPage &page, std::optional<SiteError> &unkept) const
{
    // The list is kept as the site sent it, for the seller to look at when it is not what was expected.
    if (SiteResult<Done> written = m_site.WritePageFile(Page::ReadBack, page.body); !written)
        unkept = written.error();
    return BlockedListAnswer(m_site, page.reply, SplitPageLines(page.body));
}

void BlockListUpload::fetched(const FetchedPage &page)
{
    std::optional<SiteError> unkept;
    switch (m_step) {
    case Step::Idle:
        return;
    case Step::PreReading: {
        SiteResult<QStringList> list = siteList(page, unkept);
        if (unkept)
            return fail(notRead, *unkept);
        if (!list)
            return fail(notRead, list.error());
        m_step = Step::Idle;
        const SiteListRead read{*list, BlockPageFormFields(page.body)};
        emit siteListRead(read);
        return;
    }
    case Step::Posting: {
        // Whatever the site answered, its list read back says what it holds now: a post it answered
        // may have been taken even when its answer cannot be kept or reads as no success.
        if (SiteResult<Done> written = m_site.WritePageFile(Page::UploadReply, page.body); !written)
            note(QStringLiteral("The site answered your upload, but Bidwarden could not keep its answer."),
                 written.error());
        if (SiteResult<Done> answered = UploadAnswer(m_site, page.reply, SplitPageLines(page.body)); !answered)
            note(QString(), answered.error());
        return readBack();
    }
    case Step::ReadingBack: {
        const SiteResult<QStringList> list = siteList(page, unkept);
        if (!list)
            return fail(notReadBack(m_notes.replyLost), list.error());
        if (unkept)
            note(QStringLiteral("Bidwarden read your list back from the site, but could not keep the page."), *unkept);
        UploadCheck check = CompareWithSite(m_ids, *list);
        check.replyPath = QDir::toNativeSeparators(m_site.pagePath(Page::UploadReply));
        check.readBackPath = QDir::toNativeSeparators(m_site.pagePath(Page::ReadBack));
        m_notes.siteIds = *list;
        m_step = Step::Idle;
        emit uploaded(check, m_notes);
        return;
    }
    }
}
