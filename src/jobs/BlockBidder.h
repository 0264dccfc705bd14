// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/Result.h"

#include <QObject>
#include <memory>
#include <optional>

class BidderList;
class NaruChecks;
class SiteClient;
class SiteConnection;

// Block Bidder's Save: the typed id looked up on the site, then stored with the typed reason and
// the date at the end of the list. The bidder is stored only once the lookup's page is kept, so a
// bidder reported as unchecked was never stored. After the site said the seller is signed out, the
// next start reads the browser session afresh: signing in and trying again works.
class BlockBidder : public QObject
{
    Q_OBJECT

public:
    BlockBidder(SiteConnection &connection, BidderList &list, QObject *parent = nullptr);
    ~BlockBidder() override;

    void start(const QString &userId, const QString &reason);
    // Abandons the lookup: nothing is stored, and finished is not sent.
    void stop();
    bool isRunning() const { return m_running; }

signals:
    // Stored, or why not (nothing was stored then).
    void finished(const Status &result);

private:
    void lookUp(std::shared_ptr<const SiteClient> site);
    void finish(const Status &result);

    SiteConnection &m_connection;
    BidderList &m_list;
    bool m_running = false;
    bool m_readAfresh = false; // the site said signed out: the session may have changed since
    QString m_userId;
    QString m_reason;
    std::optional<bool> m_naru;
    NaruChecks *m_check = nullptr; // a child, deleted once the event loop is back
};
