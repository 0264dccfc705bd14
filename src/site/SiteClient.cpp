// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/SiteClient.h"

#include "store/AppFilePath.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>

namespace {

// libcurl's global set-up is not thread-safe; do it once, before the first handle, not lazily inside it.
void initCurlOnce()
{
    static const bool done = [] {
        // libcurl would write every TLS session key to the file this names, for anyone who set it
        // in the environment to read the seller's traffic; the program takes no settings from there.
        qunsetenv("SSLKEYLOGFILE");
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

} // namespace

QString fileName(Page page)
{
    switch (page) {
    case Page::BlockList:
        return QStringLiteral("response.htm");
    case Page::UploadReply:
        return QStringLiteral("response2.htm");
    case Page::Lookup:
        return QStringLiteral("naru.htm");
    case Page::ReadBack:
        return QStringLiteral("readback.htm");
    }
    return {};
}

SiteClient::SiteClient(QString baseUrl, QString appFolder, CookieJar cookies)
    : m_baseUrl(std::move(baseUrl)), m_appFolder(std::move(appFolder)), m_cookies(std::move(cookies))
{
    initCurlOnce();
}

SiteClient::~SiteClient() = default;

QString SiteClient::pagePath(Page page) const
{
    return AppFilePath(m_appFolder, fileName(page));
}

void SiteClient::RemoveUnfinishedPageFiles(const QString &appFolder)
{
    // The names WritePageFile's temporary files have: a page's name and six more characters.
    QDir folder(appFolder);
    QStringList unfinished;
    for (const Page page : AllPages)
        unfinished << fileName(page) + QStringLiteral(".??????");
    for (const QString &name : folder.entryList(unfinished, QDir::Files | QDir::Hidden | QDir::System))
        folder.remove(name);
}

SiteResult<Done> SiteClient::WritePageFile(Page pageFile, const QByteArray &text) const
{
    // A new file, the user's alone (0600), renamed over the old: a kill leaves one or the other,
    // and rename(2) replaces a link planted there instead of following it, which QSaveFile would
    // do. Not synced to disk: a page file is only the latest reply, and a sync per reply would cost
    // a lookup sweep more than its requests.
    const QString path = pagePath(pageFile);
    QTemporaryFile page(path + QStringLiteral(".XXXXXX"));
    QString error;
    if (!page.open() || page.write(text) != text.size() || !page.flush())
        error = page.errorString();
    else if (std::rename(QFile::encodeName(page.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        error = QString::fromLocal8Bit(std::strerror(errno));
    else
        page.setAutoRemove(false);
    if (!error.isEmpty())
        return SiteError{SiteError::Kind::Failed,
                         QStringLiteral("Could not write the page file %1: %2").arg(path, error)};
    return Done{};
}

bool IsPassingOutageStatus(int status)
{
    return status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

int NextTryWaitMs(const SiteClient::Timeouts &timeouts, int triesMade, int retryAfterSeconds)
{
    if (triesMade < 1 || triesMade > timeouts.retryWaitsMs.size())
        return -1;
    if (retryAfterSeconds >= 0)
        return static_cast<int>(std::min<qint64>(qint64(retryAfterSeconds) * 1000, timeouts.maxRetryWaitMs));
    return timeouts.retryWaitsMs.at(triesMade - 1);
}
