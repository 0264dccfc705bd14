// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

// One running program per list. The first start holds bidwarden.lock in the application folder
// and listens for later starts; a later start asks it to bring its window to the front and ends,
// so two windows never edit one bidders.mdb without seeing each other's changes.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *LockFileName = "bidwarden.lock";

    explicit SingleInstance(const QString &appFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when this start now owns the list and goes on. Otherwise it has handed over to the
    // running program, or told the user why it cannot go on, and exitCode() is what to end with.
    bool claim();
    int exitCode() const { return m_exitCode; }

    // The full path of the local socket a later start connects to, one per application folder: in
    // the user's runtime folder, where no other user can take the name first, else in the
    // application folder.
    static QString serverName(const QString &appFolder);

private:
    void handOver();
    void raiseWindow();

    const QString m_appFolder;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
    int m_exitCode = 0;
};
