// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "core/BidderList.h"

#include <QObject>
#include <memory>
#include <optional>

class NaruChecks;
class SiteClient;
class SiteConnection;

// The NARU sweep: every user id of the list looked up on the site, in list order, each answer
// stored in the list and the store as it comes, over one store connection. The last row is stored
// once its page is kept, so a row reported as unchecked was never changed.
class CheckNaru : public QObject
{
    Q_OBJECT

public:
    CheckNaru(SiteConnection &connection, BidderList &list, QObject *parent = nullptr);
    ~CheckNaru() override;

    void start();
    // Stops the sweep: the rows answered keep their new values, the rest their old ones; finished is
    // not sent.
    void stop();
    bool isRunning() const { return m_running; }

signals:
    void rowsChecked(int count); // of the list's rows, this many are answered
    // All rows stored, or why the sweep stopped.
    void finished(const Status &result);

private:
    void checkRows(std::shared_ptr<const SiteClient> site);
    void store(int row, bool naru);
    void finish(const Status &result);

    SiteConnection &m_connection;
    BidderList &m_list;
    bool m_running = false;
    std::optional<std::pair<int, bool>> m_last; // the last row's answer, waiting for its page to be kept
    std::unique_ptr<BidderList::Session> m_session;
    NaruChecks *m_checks = nullptr; // a child, deleted once the event loop is back
};
