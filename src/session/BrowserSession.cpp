// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/BrowserSession.h"

#include "session/ChromiumCookies.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <cerrno>
#include <csignal>
#include <unistd.h>

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace {

const QString kCopyPrefix = QStringLiteral("bidwarden-cookies-");

} // namespace

SessionStop::SessionStop(int deadlineMs) : m_deadline(deadlineMs), m_cancellable(g_cancellable_new()) {}

SessionStop::~SessionStop()
{
    g_object_unref(m_cancellable);
}

void SessionStop::cancel()
{
    m_cancelled = true;
    g_cancellable_cancel(m_cancellable);
}

QString UserRuntimeFolder()
{
    // Without XDG_RUNTIME_DIR, or with one that is not the user's own, Qt makes one up under the
    // shared temporary folder, on disk: that is no runtime folder.
    const QString given = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (given.isEmpty())
        return {};
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir::cleanPath(runtime) == QDir::cleanPath(given) ? runtime : QString();
}

QString SessionCopiesFolder(const QString &appFolder)
{
    const QString runtime = UserRuntimeFolder();
    return runtime.isEmpty() ? appFolder : runtime;
}

QString SessionCopyTemplate(const QString &copiesIn)
{
    return QDir(copiesIn).filePath(kCopyPrefix + QString::number(::getpid()) + QStringLiteral("-XXXXXX"));
}

void RemoveStaleSessionCopies(const QString &appFolder)
{
    for (const QString &folder : {SessionCopiesFolder(appFolder), appFolder}) {
        const QFileInfoList copies =
            QDir(folder).entryInfoList({kCopyPrefix + QLatin1Char('*')}, QDir::Dirs | QDir::NoDotAndDotDot);
        for (const QFileInfo &copy : copies) {
            // A process id still in use is another program's read under way, unless it is ours:
            // then it was a crashed run's whose number came round again.
            const qint64 pid = copy.fileName().mid(kCopyPrefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong();
            const bool running = pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
            if (copy.isDir() && !copy.isSymLink() && (!running || pid == ::getpid()))
                QDir(copy.filePath()).removeRecursively();
        }
    }
}

BrowserCookies ReadBrowserSession(const QString &siteUrl, const QString &appFolder, const SessionStop &stop)
{
    const SessionQuery query = SessionQuery::forSite(siteUrl, appFolder, &stop);
    // The seller put it there on purpose, for a browser we cannot read or to pick one session.
    const QString cookiesTxt = QDir(appFolder).filePath(QStringLiteral("cookies.txt"));
    BrowserCookies all;
    if (QFileInfo::exists(cookiesTxt)) {
        all = BrowserCookies::fromCookiesTxt(cookiesTxt, query);
        if (!all.sources().isEmpty())
            return all;
    }

    const QString home = QDir::homePath();
    const QStringList firefoxRoots = {
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/mozilla/firefox"),
        home + QStringLiteral("/.mozilla/firefox"),
        home + QStringLiteral("/snap/firefox/common/.mozilla/firefox"),
        home + QStringLiteral("/.var/app/org.mozilla.firefox/.mozilla/firefox"),
    };
    for (const QString &root : firefoxRoots)
        all.addJars(BrowserCookies::fromFirefoxRoot(root, query));
    for (const ChromiumBrowser &browser : ChromiumBrowsers())
        for (const QString &root : browser.roots)
            if (QFileInfo::exists(root + QStringLiteral("/Local State")))
                all.addJars(BrowserCookies::fromChromiumRoot(root, browser.name, browser.keyringApplication, query));
    return all;
}

SessionReader::SessionReader(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<BrowserCookies>();
}

SessionReader::~SessionReader()
{
    stopThread();
}

void SessionReader::stopThread()
{
    if (!m_thread)
        return;
    m_stop->cancel();
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
}

void SessionReader::start(const QString &siteUrl, const QString &appFolder)
{
    stopThread();
    m_stop = std::make_unique<SessionStop>();
    const SessionStop *stop = m_stop.get();
    const quint64 read = ++m_reads;
    m_thread = QThread::create([this, stop, read, siteUrl, appFolder] {
        BrowserCookies cookies = ReadBrowserSession(siteUrl, appFolder, *stop);
        // Queued to this object: dropped if it is gone by then, and it cannot be gone before the
        // thread ends, as its destructor waits for it.
        QMetaObject::invokeMethod(
            this,
            [this, read, cookies = std::move(cookies)] {
                if (read != m_reads || m_stop->isCancelled())
                    return;
                m_thread->wait();
                delete m_thread;
                m_thread = nullptr;
                emit finished(cookies);
            },
            Qt::QueuedConnection);
    });
    m_thread->start();
}
