// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "jobs/BlockBidder.h"

#include "core/BidderList.h"
#include "jobs/JobMessages.h"
#include "jobs/SiteConnection.h"
#include "site/NaruChecks.h"

BlockBidder::BlockBidder(SiteConnection &connection, BidderList &list, QObject *parent)
    : QObject(parent), m_connection(connection), m_list(list)
{}

BlockBidder::~BlockBidder()
{
    // A read of the session under way would hand its client to a job that is gone.
    if (m_running)
        m_connection.cancel();
}

void BlockBidder::start(const QString &userId, const QString &reason)
{
    if (m_running)
        return;
    m_running = true;
    m_userId = userId;
    m_reason = reason;
    m_naru.reset();
    const auto read = std::exchange(m_readAfresh, false) ? SiteConnection::Read::Afresh : SiteConnection::Read::IfNone;
    m_connection.connect(read, [this](std::shared_ptr<const SiteClient> site) { lookUp(std::move(site)); });
}

void BlockBidder::lookUp(std::shared_ptr<const SiteClient> site)
{
    m_check = new NaruChecks(*site, this);
    KeepClientWith(m_check, site);
    connect(m_check, &NaruChecks::answered, this, [this](int, bool naru) { m_naru = naru; });
    connect(m_check, &NaruChecks::failed, this, [this](int, const SiteError &error) {
        m_readAfresh = error.kind == SiteError::Kind::SignedOut;
        finish(Failure{UncheckedMessage(m_userId, QString(), QString(), error)});
    });
    connect(m_check, &NaruChecks::finished, this, [this] {
        // Every id is answered before the checks finish; were one not, nothing would be stored.
        if (!m_naru)
            return finish(Failure{UncheckedMessage(
                m_userId, QString(), QString(),
                SiteError{SiteError::Kind::Failed, QStringLiteral("The check ended without an answer.")})});
        finish(m_list.add(BidderList::block(m_userId, *m_naru, m_reason)));
    });
    m_check->start({m_userId});
}

void BlockBidder::stop()
{
    m_connection.cancel();
    if (m_check) {
        m_check->stop();
        std::exchange(m_check, nullptr)->deleteLater();
    }
    m_running = false;
}

void BlockBidder::finish(const Status &result)
{
    stop();
    emit finished(result);
}
