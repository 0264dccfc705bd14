// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/BrowserSession.h"

#include "session/BrowserLocations.h"
#include "session/ChromiumCookies.h"
#include "session/CookiesTxt.h"
#include "session/FirefoxCookies.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

CookieJar ReadBrowserSession(const QString &siteUrl, const QString &appFolder, const SessionStop &stop)
{
    const SessionQuery query = SessionQuery::forSite(siteUrl, &stop);
    // The seller put it there on purpose, for a browser we cannot read or to pick one session.
    CookieJar all = ReadCookiesTxt(QDir(appFolder).filePath(QStringLiteral("cookies.txt")), query);
    if (!all.sources().isEmpty())
        return all;
    for (const BrowserLocation &browser : BrowserLocations())
        for (const QString &root : browser.roots) {
            if (browser.kind == BrowserLocation::Kind::Firefox)
                all.addProfiles(ReadFirefoxRoot(root, query));
            else if (QFileInfo::exists(root + QStringLiteral("/Local State")))
                all.addProfiles(ReadChromiumRoot(root, browser.name, browser.keyringApplication, query));
        }
    return all;
}

SessionReader::SessionReader(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<CookieJar>();
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
        CookieJar cookies = ReadBrowserSession(siteUrl, appFolder, *stop);
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
