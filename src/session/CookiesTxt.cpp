// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/CookiesTxt.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Firefox kept seconds in older exports and milliseconds in some; no cookie outlives the year 5000.
qint64 expiryToSeconds(qint64 stored)
{
    return stored > 100'000'000'000LL ? stored / 1000 : stored;
}

// The whole of the open file; a cookies.txt bigger than any browser's export is no session of ours.
constexpr qint64 kLargestCookiesTxt = 16 * 1024 * 1024;

} // namespace

CookieJar ParseCookiesTxt(const QByteArray &text, const QString &host, const QString &source)
{
    CookieJar jar;
    const QList<QByteArray> hosts = SessionQuery{host, {}, nullptr}.cookieHosts();
    static const QByteArray httpOnlyPrefix("#HttpOnly_");
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(httpOnlyPrefix))
            line.remove(0, httpOnlyPrefix.size());
        else if (line.startsWith('#') || line.trimmed().isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 6)
            continue;
        BrowserCookie cookie;
        cookie.host = QString::fromUtf8(fields[0]);
        if (fields[1] == "TRUE" && !cookie.host.startsWith(QLatin1Char('.')))
            cookie.host.prepend(QLatin1Char('.'));
        if (!hosts.contains(cookie.host.toLower().toUtf8()))
            continue;
        cookie.path = fields[2].isEmpty() ? QByteArray("/") : fields[2];
        cookie.secure = fields[3] == "TRUE";
        cookie.expiresAt = expiryToSeconds(fields[4].toLongLong());
        cookie.name = fields[5];
        cookie.value = fields.size() > 6 ? fields[6] : QByteArray();
        jar.add(cookie, source);
    }
    jar.addSource(source);
    return jar;
}

CookieJar ReadCookiesTxt(const QString &path, const SessionQuery &query)
{
    CookieJar jar;
    auto refuse = [&](const QString &why) {
        jar.addProblem(QStringLiteral("Did not read the cookies in %1: %2.").arg(path, why));
        return jar;
    };
    // Opened once and checked as opened, so nothing can be swapped in between the check and the read.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return jar;
        return refuse(errno == ELOOP ? QStringLiteral("it is a link, which could lead to another user's file")
                                     : QString::fromLocal8Bit(std::strerror(errno)));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(file.errorString());
    }
    struct stat info;
    if (::fstat(fd, &info) != 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return refuse(QStringLiteral("it is not a plain file"));
    if (info.st_uid != ::geteuid())
        return refuse(QStringLiteral("it belongs to another user"));
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return refuse(QStringLiteral("other users can write to it (make it yours alone, for example with chmod 600)"));
    if (info.st_mode & (S_IRGRP | S_IROTH))
        return refuse(QStringLiteral("other users can read it, and with it your session (make it yours alone, "
                                     "for example with chmod 600)"));
    if (info.st_size > kLargestCookiesTxt)
        return refuse(QStringLiteral("it is larger than any browser's cookies"));
    const QByteArray text = file.read(kLargestCookiesTxt + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(file.errorString());
    return ParseCookiesTxt(text, query.host, path);
}
