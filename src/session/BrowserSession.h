// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "session/BrowserCookies.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <atomic>
#include <memory>

struct _GCancellable;
class QThread;

// When a read of the browser session stops waiting: at its deadline, or when cancelled from any
// thread (the window that wanted it has closed).
class SessionStop
{
public:
    static constexpr int DeadlineMs = 5000;

    explicit SessionStop(int deadlineMs = DeadlineMs);
    ~SessionStop();
    SessionStop(const SessionStop &) = delete;
    SessionStop &operator=(const SessionStop &) = delete;

    void cancel();
    // Cancelled from outside; a wait that outlived the deadline is not.
    bool isCancelled() const { return m_cancelled; }
    qint64 remainingMs() const { return m_deadline.remainingTime(); }
    _GCancellable *cancellable() const { return m_cancellable; }

private:
    QDeadlineTimer m_deadline;
    _GCancellable *m_cancellable; // also fired by a keyring wait that reaches the deadline
    std::atomic<bool> m_cancelled{false};
};

// The signed-in browser's cookies for siteUrl, with the problems met reading them: a cookies.txt in
// the application folder when there is one the seller can vouch for; otherwise the profile in use
// of each Firefox and Chromium-family browser under the user's home, and for each request the one
// profile that used the site most recently. Only the site's rows are read, from copies in a private
// folder that is gone when this returns. Runs on any thread; the keyring is not waited on past the
// stop's deadline.
BrowserCookies ReadBrowserSession(const QString &siteUrl, const QString &appFolder, const SessionStop &stop);

// The user's runtime folder (XDG_RUNTIME_DIR: a tmpfs only the user can enter), or empty when there
// is none; never a folder Qt would make up under the shared temporary folder.
QString UserRuntimeFolder();
// Where the private folders for copies of cookie stores go: the user's runtime folder, else the
// application folder.
QString SessionCopiesFolder(const QString &appFolder);
// The QTemporaryDir template of one read's private folder in copiesIn; the name carries the process
// id, so that a later start can tell a crashed run's folder from a running program's.
QString SessionCopyTemplate(const QString &copiesIn);
// Removes the copies that a run ended by a crash or a kill left behind, in both places.
void RemoveStaleSessionCopies(const QString &appFolder);

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
    void finished(const BrowserCookies &cookies);

private:
    void stopThread();

    std::unique_ptr<SessionStop> m_stop;
    QThread *m_thread = nullptr;
    quint64 m_reads = 0; // which read a result belongs to: only the latest one's is handed on
};
