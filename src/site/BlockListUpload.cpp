// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/BlockListUpload.h"

#include "site/ParallelGets.h"
#include "store/OffThread.h"

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

// Keeps a page in its file while it is read: the disk's time and the reading overlap.
std::future<SiteResult<Done>> keepPage(const SiteClient &site, Page file, const QByteArray &body)
{
    return RunOffThread([&site, file, body] { return site.WritePageFile(file, body); });
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
            noteReply();
            return fail(notReadBack(m_notes.replyLost), error);
        }
    });
}

BlockListUpload::~BlockListUpload()
{
    // The site's answer may still be on its way to its file, written with the client.
    if (m_replyKept.valid())
        m_replyKept.wait();
}

void BlockListUpload::readSiteList()
{
    m_step = Step::PreReading;
    m_gets->start({BlockPagePath()});
}

void BlockListUpload::send(const QStringList &userIds, const QList<FormField> &formFields)
{
    m_ids = userIds;
    m_notes = UploadNotes();
    m_answer.reset();
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

void BlockListUpload::noteReply()
{
    if (m_replyKept.valid())
        if (SiteResult<Done> kept = m_replyKept.get(); !kept)
            note(QStringLiteral("The site answered your upload, but Bidwarden could not keep its answer."),
                 kept.error());
    if (m_answer)
        note(QString(), *std::exchange(m_answer, std::nullopt));
}

void BlockListUpload::readBack()
{
    m_step = Step::ReadingBack;
    m_gets->start({BlockPagePath()});
    emit readingBack();
}

SiteResult<SiteListRead> BlockListUpload::readList(const FetchedPage &page)
{
    // The page the last read found, byte for byte, holds what it held: a read again with nothing
    // changed, or the read-back of a list the site already held, is not taken apart again.
    if (m_lastRead && page.body == m_lastPage && page.reply.status == m_lastStatus && !page.reply.redirectedOffPath)
        return *m_lastRead;
    SiteResult<QStringList> list = BlockedListAnswer(m_site, page.reply, SplitPageLines(page.body));
    if (!list)
        return list.error();
    m_lastRead = SiteListRead{*list, BlockPageFormFields(page.body)};
    m_lastPage = page.body;
    m_lastStatus = page.reply.status;
    return *m_lastRead;
}

void BlockListUpload::fetched(const FetchedPage &page)
{
    switch (m_step) {
    case Step::Idle:
        return;
    case Step::PreReading: {
        // The list is kept as the site sent it, for the seller to look at when it is not what was
        // expected, and nothing is decided on a page that could not be kept.
        std::future<SiteResult<Done>> written = keepPage(m_site, Page::ReadBack, page.body);
        SiteResult<SiteListRead> read = readList(page);
        if (SiteResult<Done> kept = written.get(); !kept)
            return fail(notRead, kept.error());
        if (!read)
            return fail(notRead, read.error());
        m_step = Step::Idle;
        emit siteListRead(*read);
        return;
    }
    case Step::Posting: {
        // Whatever the site answered, its list read back says what it holds now: a post it answered
        // may have been taken even when its answer cannot be kept or reads as no success. The answer
        // is kept while the list is read back.
        m_replyKept = keepPage(m_site, Page::UploadReply, page.body);
        if (SiteResult<Done> answered = UploadAnswer(m_site, page.reply, SplitPageLines(page.body)); !answered)
            m_answer = answered.error();
        return readBack();
    }
    case Step::ReadingBack: {
        noteReply();
        std::future<SiteResult<Done>> written = keepPage(m_site, Page::ReadBack, page.body);
        const SiteResult<SiteListRead> read = readList(page);
        UploadCheck check = read ? CompareWithSite(m_ids, read->ids) : UploadCheck();
        const SiteResult<Done> kept = written.get();
        if (!read)
            return fail(notReadBack(m_notes.replyLost), read.error());
        if (!kept)
            note(QStringLiteral("Bidwarden read your list back from the site, but could not keep the page."),
                 kept.error());
        check.replyPath = QDir::toNativeSeparators(m_site.pagePath(Page::UploadReply));
        check.readBackPath = QDir::toNativeSeparators(m_site.pagePath(Page::ReadBack));
        m_notes.siteIds = read->ids;
        m_step = Step::Idle;
        emit uploaded(check, m_notes);
        return;
    }
    }
}
