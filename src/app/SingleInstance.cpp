// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "app/SingleInstance.h"

#include "session/SessionCopies.h"
#include "store/AppFilePath.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QWidget>

namespace {

const QByteArray kRaised = QByteArrayLiteral("raised\n");

} // namespace

SingleInstance::SingleInstance(const QString &appFolder, QObject *parent)
    : QObject(parent), m_appFolder(appFolder), m_lock(AppFilePath(appFolder, QString::fromLatin1(LockFileName)))
{
    // A lock is stale only when the program that took it is gone (QLockFile checks the PID and the
    // program's name); never by age, as the program may run for days.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString &appFolder)
{
    const QString runtime = UserRuntimeFolder();
    if (runtime.isEmpty())
        return AppFilePath(appFolder, QStringLiteral("bidwarden.socket"));
    const QString folder = QFileInfo(appFolder).canonicalFilePath();
    const QByteArray hash = QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(24);
    return QDir(runtime).filePath(QStringLiteral("bidwarden-") + QString::fromLatin1(hash));
}

bool SingleInstance::claim()
{
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() == QLockFile::LockFailedError) {
            handOver();
            return false;
        }
        MessageBox::fail(nullptr,
                         QStringLiteral("Bidwarden cannot make its lock file, %1.\n\n%2")
                             .arg(QDir::toNativeSeparators(m_lock.fileName()),
                                  m_lock.error() == QLockFile::PermissionError
                                      ? QStringLiteral("The folder cannot be written to.")
                                      : QStringLiteral("The file could not be written; the disk may be full.")));
        m_exitCode = 1;
        return false;
    }

    // A program that crashed leaves its socket behind; the lock says it is no longer in use.
    const QString name = serverName(m_appFolder);
    QLocalServer::removeServer(name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            raiseWindow();
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            socket->write(kRaised);
            socket->disconnectFromServer();
        }
    });
    // Without the server this program still runs, and the list is safe under the lock; a later start
    // then says it is already running instead of bringing this one forward.
    if (!m_server->listen(name))
        MessageBox::fail(nullptr, QStringLiteral("Bidwarden could not open %1, where a second start would find it: "
                                                 "%2\n\nBidwarden runs, but starting it again will only say that "
                                                 "it is already running.")
                                      .arg(QDir::toNativeSeparators(name), m_server->errorString()));
    return true;
}

void SingleInstance::handOver()
{
    // The running program may be between taking the lock and listening, so it is given a moment.
    QLocalSocket socket;
    const QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        socket.connectToServer(serverName(m_appFolder));
        if (socket.waitForConnected(500))
            break;
        QThread::msleep(100);
    }
    if (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(3000) &&
        socket.readAll().startsWith(kRaised))
        return;

    MessageBox::tell(nullptr, QStringLiteral("Bidwarden"),
                     QStringLiteral("Bidwarden is already running with this list of blocked bidders, in %1.")
                         .arg(QDir::toNativeSeparators(m_appFolder)),
                     QMessageBox::Information);
    m_exitCode = 1;
}

// Whichever window is showing, the main window, a dialog over it or a wizard step, comes forward.
void SingleInstance::raiseWindow()
{
    QWidget *window = QApplication::activeModalWidget();
    if (!window)
        window = QApplication::activeWindow();
    const QWidgetList topLevels = QApplication::topLevelWidgets();
    for (QWidget *candidate : topLevels) {
        const Qt::WindowType type = candidate->windowType();
        if (!window && candidate->isVisible() && (type == Qt::Window || type == Qt::Dialog))
            window = candidate;
    }
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}
