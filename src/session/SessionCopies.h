// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <atomic>

struct _GCancellable;

// What stops a read of the browser session: a cancel from any thread (the window that wanted it has
// closed), and, for each question to the keyring, a wait of its own that starts when it is asked.
class SessionStop
{
public:
    static constexpr int KeyringWaitMs = 5000;

    explicit SessionStop(int keyringWaitMs = KeyringWaitMs);
    ~SessionStop();
    SessionStop(const SessionStop &) = delete;
    SessionStop &operator=(const SessionStop &) = delete;

    void cancel();
    // Cancelled from outside; a keyring that did not answer in time does not count.
    bool isCancelled() const { return m_cancelled; }
    int keyringWaitMs() const { return m_keyringWaitMs; }
    // Fired by cancel() only; each keyring call links a cancellable of its own to it.
    _GCancellable *cancellable() const { return m_cancellable; }

private:
    const int m_keyringWaitMs;
    _GCancellable *m_cancellable;
    std::atomic<bool> m_cancelled{false};
};

// The user's runtime folder (XDG_RUNTIME_DIR: a tmpfs only the user can enter), or empty when there
// is none; never a folder Qt would make up under the shared temporary folder.
QString UserRuntimeFolder();
// Where the private folders for copies of cookie stores go: the user's runtime folder, or empty when
// there is none, as the stores' copies hold the seller's session and go nowhere else.
QString SessionCopiesFolder();
// The QTemporaryDir template of one read's private folder in copiesIn; the name carries the process
// id, so that a later start can tell a crashed run's folder from a running program's.
QString SessionCopyTemplate(const QString &copiesIn);
// Removes, from the user's runtime folder only, the copies that a run ended by a crash or a kill left
// behind: folders of the user's own, walked by descriptor so that no link is ever followed.
void RemoveStaleSessionCopies();
