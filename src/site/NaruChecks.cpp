// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/NaruChecks.h"

#include "site/ParallelGets.h"
#include "site/SiteOperations.h"

NaruChecks::NaruChecks(const SiteClient &site, QObject *parent)
    : QObject(parent), m_site(site), m_gets(new ParallelGets(site, this))
{
    connect(m_gets, &ParallelGets::fetched, this, [this](int index, const FetchedPage &page) {
        m_lastPage = page.body;
        m_pageToKeep = true;
        const SiteResult<bool> naru = NaruAnswer(m_site, m_ids.at(index), page.reply, SplitPageLines(page.body));
        if (!naru) {
            stop();
            emit failed(index, naru.error());
            return;
        }
        emit answered(index, *naru);
    });
    connect(m_gets, &ParallelGets::failed, this, [this](int index, const SiteError &error) {
        (void)keepPage();
        emit failed(index, error);
    });
    connect(m_gets, &ParallelGets::finished, this, [this] {
        // The page is part of the answer: a job whose last page cannot be kept has not ended well.
        if (SiteResult<Done> kept = keepPage(); !kept) {
            emit failed(int(m_ids.size()) - 1, kept.error());
            return;
        }
        emit finished();
    });
}

NaruChecks::~NaruChecks()
{
    (void)keepPage();
}

void NaruChecks::start(const QStringList &userIds)
{
    m_ids = userIds;
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

// The replies are answered from memory; the page file is written once, when the job ends, with
// the reply a one-at-a-time job would have left in it.
SiteResult<Done> NaruChecks::keepPage()
{
    if (!std::exchange(m_pageToKeep, false))
        return Done{};
    return m_site.WritePageFile(QStringLiteral("naru.htm"), m_lastPage);
}
