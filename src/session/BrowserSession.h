// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "session/CookieJar.h"
#include "session/SessionCopies.h"

#include <QObject>
#include <QString>
#include <memory>

class QThread;

// The signed-in browser's cookies for siteUrl, with the problems met reading them: a cookies.txt in
// the application folder when there is one the seller can vouch for; otherwise the profile in use
// of each Firefox and Chromium-family browser under the user's home, and for each request the one
// profile that used the site most recently. Only the site's rows are read, from copies in a private
// folder that is gone when this returns. Runs on any thread; no question to the keyring waits past
// the stop's keyring wait.
CookieJar ReadBrowserSession(const QString &siteUrl, const QString &appFolder, const SessionStop &stop);

// Reads the browser session on a thread of its own, so a slow keyring never holds up the window,
// and hands it back on the thread that started it.
class SessionReader : public QObject
{
    Q_OBJECT

public:
    explicit SessionReader(QObject *parent = nullptr);
    // Cancels a read under way and waits for its thread, which then ends at once.
    ~SessionReader() override;

    void start(const QString &siteUrl, const QString &appFolder);
    bool isRunning() const { return m_thread != nullptr; }

signals:
    // Not sent for a read that was cancelled.
    void finished(const CookieJar &cookies);

private:
    void stopThread();

    std::unique_ptr<SessionStop> m_stop;
    QThread *m_thread = nullptr;
    quint64 m_reads = 0; // which read a result belongs to: only the latest one's is handed on
};
