// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "jobs/CheckNaru.h"

#include "jobs/JobMessages.h"
#include "jobs/SiteConnection.h"
#include "site/NaruChecks.h"

CheckNaru::CheckNaru(SiteConnection &connection, BidderList &list, QObject *parent)
    : QObject(parent), m_connection(connection), m_list(list)
{}

CheckNaru::~CheckNaru()
{
    // A read of the session under way would hand its client to a job that is gone.
    if (m_running)
        m_connection.cancel();
}

void CheckNaru::start()
{
    if (m_running)
        return;
    m_running = true;
    m_last.reset();
    m_connection.connect(SiteConnection::Read::Afresh,
                         [this](std::shared_ptr<const SiteClient> site) { checkRows(std::move(site)); });
}

void CheckNaru::checkRows(std::shared_ptr<const SiteClient> site)
{
    m_checks = new NaruChecks(*site, this);
    KeepClientWith(m_checks, site);
    // Every row's answer goes to the store in a transaction of its own, over one connection.
    m_session = std::make_unique<BidderList::Session>(m_list);
    const int last = m_list.count() - 1;
    connect(m_checks, &NaruChecks::answered, this, [this, last](int row, bool naru) {
        if (row == last)
            m_last.emplace(row, naru);
        else
            store(row, naru);
    });
    connect(m_checks, &NaruChecks::failed, this, [this](int row, const SiteError &error) {
        // Rows done so far keep their new values; the rest keep what they had.
        finish(Failure{UncheckedMessage(m_list.at(row).userName, QString(),
                                        QStringLiteral(", so the check stopped there"), error)});
    });
    connect(m_checks, &NaruChecks::finished, this, [this] {
        if (m_last)
            store(m_last->first, m_last->second);
        if (m_running)
            finish(Done{});
    });
    m_checks->start(m_list.userNames());
}

void CheckNaru::store(int row, bool naru)
{
    emit rowsChecked(row + 1);
    const Result<bool> saved = m_list.setNaru(row, naru);
    if (!saved)
        finish(Failure{saved.error()});
    else if (!*saved)
        finish(Failure{QStringLiteral("Bidwarden has no stored record for \"%1\", so its NARU value was not saved. "
                                      "The list may be out of date: click a column heading to read it again.")
                           .arg(m_list.at(row).userName)});
}

void CheckNaru::stop()
{
    m_connection.cancel();
    if (m_checks) {
        m_checks->stop();
        std::exchange(m_checks, nullptr)->deleteLater();
    }
    m_session.reset();
    m_running = false;
}

void CheckNaru::finish(const Status &result)
{
    stop();
    emit finished(result);
}
