// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "jobs/SiteConnection.h"

#include "session/BrowserSession.h"

SiteConnection::SiteConnection(QString siteUrl, QString appFolder, SiteClient::Timeouts timeouts, QObject *parent)
    : QObject(parent), m_siteUrl(std::move(siteUrl)), m_appFolder(std::move(appFolder)), m_timeouts(std::move(timeouts))
{}

SiteConnection::~SiteConnection()
{
    cancel();
}

void SiteConnection::connect(Read read, std::function<void(std::shared_ptr<const SiteClient>)> ready)
{
    if (read == Read::IfNone && m_client && !m_reader) {
        ready(m_client);
        return;
    }
    m_ready = std::move(ready);
    // A fresh reader for every read: the one before, cancelled, hands nothing on.
    m_reader = std::make_unique<SessionReader>();
    QObject::connect(m_reader.get(), &SessionReader::finished, this, [this](const CookieJar &cookies) {
        auto client = std::make_shared<SiteClient>(m_siteUrl, m_appFolder, cookies);
        client->setTimeouts(m_timeouts);
        m_client = std::move(client);
        // The reader is the sender: it goes once control is back in the event loop.
        m_reader.release()->deleteLater();
        setReading(false);
        std::exchange(m_ready, nullptr)(m_client);
    });
    setReading(true);
    m_reader->start(m_siteUrl, m_appFolder);
}

void SiteConnection::cancel()
{
    m_reader.reset();
    m_ready = nullptr;
    setReading(false);
}

bool SiteConnection::isReading() const
{
    return m_reader != nullptr;
}

void SiteConnection::setReading(bool reading)
{
    if (std::exchange(m_reading, reading) != reading)
        emit readingChanged(reading);
}

void KeepClientWith(QObject *job, std::shared_ptr<const SiteClient> client)
{
    QObject::connect(job, &QObject::destroyed, job, [client = std::move(client)] {});
}
