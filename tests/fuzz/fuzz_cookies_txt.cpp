// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Any cookies.txt: read for the site's host, then the header a request to the site would carry.
#include "session/BrowserCookies.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sys/stat.h>

namespace {
QTemporaryDir *folder = nullptr;
QString path;
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The reader takes a path, and reads only a file that is the user's alone.
    ::umask(077);
    folder = new QTemporaryDir;
    path = folder->filePath(QStringLiteral("cookies.txt"));
    std::atexit([] { delete folder; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // A new file each time: rewriting one in place waits for the disk on ext4.
    QFile::remove(path);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    file.close();
    const BrowserCookies cookies = BrowserCookies::fromCookiesTxt(path, {QStringLiteral("cgi.ebay.co.uk"), {}});
    cookies.cookieHeaderFor(QStringLiteral("https://cgi.ebay.co.uk/aw-cgi/eBayISAPI.dll?BidderBlockLogin"));
    return 0;
}
