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
        // The page is the answer's proof, kept before anyone acts on the answer: a lookup whose
        // page cannot be kept gives none.
        if (SiteResult<Done> kept = m_site.WritePageFile(Page::Lookup, page.body); !kept)
            return fail({kept.error().kind,
                         QStringLiteral("The site answered, but its page could not be kept, so the answer was not "
                                        "taken.\n\n") +
                             kept.error().message});
        const SiteResult<bool> naru = NaruAnswer(m_site, m_ids.at(index), page.reply, SplitPageLines(page.body));
        if (!naru)
            return fail(naru.error());
        emit answered(index, *naru);
    });
    connect(m_gets, &ParallelGets::failed, this, &NaruChecks::failed);
    connect(m_gets, &ParallelGets::finished, this, &NaruChecks::finished);
}

NaruChecks::~NaruChecks() = default;

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
}

bool NaruChecks::isRunning() const
{
    return m_gets->isRunning();
}
