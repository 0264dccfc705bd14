// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"

#include <QObject>
#include <functional>
#include <memory>

class SessionReader;

// A window's way to the site: the signed-in browser's session, read off the window's thread under
// its deadline, and the client that carries it. A window keeps one as a member, so that closing
// the window cancels a read under way; the jobs it starts ask it for the client.
class SiteConnection : public QObject
{
    Q_OBJECT

public:
    SiteConnection(QString siteUrl, QString appFolder, SiteClient::Timeouts timeouts, QObject *parent = nullptr);
    // Cancels a read under way.
    ~SiteConnection() override;

    enum class Read
    {
        IfNone, // the client made before, when there is one
        Afresh, // the session as it is now: the seller may have signed in since
    };
    // Hands `ready` the client once the session is read, or at once when one is there and not to be
    // read again. A later call replaces a read under way, whose `ready` is then never called. The
    // client stays alive as long as a job holds it, whatever later reads make.
    void connect(Read read, std::function<void(std::shared_ptr<const SiteClient>)> ready);
    // Drops a read under way: its `ready` is not called.
    void cancel();
    bool isReading() const;

signals:
    // A read of the browser session began or ended (a window shows a wait cursor meanwhile).
    void readingChanged(bool reading);

private:
    void setReading(bool reading);

    const QString m_siteUrl;
    const QString m_appFolder;
    const SiteClient::Timeouts m_timeouts;
    std::unique_ptr<SessionReader> m_reader;
    std::function<void(std::shared_ptr<const SiteClient>)> m_ready;
    std::shared_ptr<const SiteClient> m_client;
    bool m_reading = false;
};

// Keeps the client alive as long as the job that refers to it: a job ended in one of its own
// signals is deleted only later, maybe after the connection has made a new client.
void KeepClientWith(QObject *job, std::shared_ptr<const SiteClient> client);
