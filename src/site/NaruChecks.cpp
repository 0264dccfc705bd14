// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/NaruChecks.h"

#include "site/ParallelGets.h"
#include "site/SiteOperations.h"

NaruChecks::NaruChecks(const SiteClient &site, QObject *parent)
    : QObject(parent), m_site(site), m_gets(new ParallelGets(site, this))
{
    connect(m_gets, &ParallelGets::fetched, this, [this](int index, const FetchedPage &page) {
        const auto fail = [this, index](const SiteError &error) {
            stop();
            emit failed(index, error);
        };
        m_lastPage = page.body;
        m_pageToKeep = true;
        const SiteResult<bool> naru = NaruAnswer(m_site, m_ids.at(index), page.reply, SplitPageLines(page.body));
        // The page is the answer's proof. It is written before the job's first answer, so that a
        // folder that takes no page stops the job before anything is acted on, and before its last,
        // so that the job ends with it kept (a failure keeps it on stopping). In between, each reply
        // waits in memory for the next: a write per reply would cost a sweep more than its requests.
        if (naru && (!m_answered || index == m_ids.size() - 1))
            if (SiteResult<Done> kept = keepPage(); !kept)
                return fail({kept.error().kind,
                             QStringLiteral("The site answered, but its page could not be kept, so the answer was "
                                            "not taken.\n\n") +
                                 kept.error().message});
        if (!naru)
            return fail(naru.error());
        m_answered = true;
        emit answered(index, *naru);
    });
    connect(m_gets, &ParallelGets::failed, this, [this](int index, const SiteError &error) {
        (void)keepPage(); // the job has already failed for a reason of its own
        emit failed(index, error);
    });
    connect(m_gets, &ParallelGets::finished, this, &NaruChecks::finished);
}

NaruChecks::~NaruChecks()
{
    (void)keepPage();
}

void NaruChecks::start(const QStringList &userIds)
{
    m_ids = userIds;
    m_answered = false;
    QStringList paths;
    paths.reserve(userIds.size());
    for (const QString &id : userIds)
        paths << NaruLookupPath(id);
    // A history page is a few kilobytes: a far larger reply is no answer, and is not held.
    m_gets->start(paths, SiteClient::MaxLookupReplyBytes);
}

void NaruChecks::stop()
{
    m_gets->stop();
    (void)keepPage(); // the job has already stopped for a reason of its own
}

bool NaruChecks::isRunning() const
{
    return m_gets->isRunning();
}

// naru.htm gets the reply a one-at-a-time job would have left in it.
SiteResult<Done> NaruChecks::keepPage()
{
    if (!std::exchange(m_pageToKeep, false))
        return Done{};
    return m_site.WritePageFile(Page::Lookup, m_lastPage);
}
