// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "AppFilePath.h"

#include "BidderStore.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString userName(uid_t uid)
{
    const passwd *user = ::getpwuid(uid);
    return user ? QString::fromLocal8Bit(user->pw_name) : QString::number(uid);
}

// The group made for the user alone: named after them, their primary group, and listing no
// other member. Files the user makes under a umask of 002 are writable by it.
bool isPrivateGroup(gid_t gid)
{
    const passwd *user = ::getpwuid(::geteuid());
    if (!user || user->pw_gid != gid)
        return false;
    const QByteArray name = user->pw_name;
    const group *found = ::getgrgid(gid);
    if (!found || name != found->gr_name)
        return false;
    for (char **member = found->gr_mem; *member; ++member) {
        if (name != *member)
            return false;
    }
    return true;
}

QString groupName(gid_t gid)
{
    const group *found = ::getgrgid(gid);
    return found ? QString::fromLocal8Bit(found->gr_name) : QString::number(gid);
}

// Why the program's folder cannot hold the seller's files; empty when it can. Another user who
// could write there could replace the list, plant files beside it or hold its lock.
QString programFolderRefusal(const QString &folder)
{
    // Root may write the system's program folders too, but a list kept in /usr/bin would be shared
    // by every user and lost to the package manager.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    for (const char *prefix : {"/usr", "/bin", "/sbin", "/opt"}) {
        if (canonical == QLatin1String(prefix) || canonical.startsWith(QLatin1String(prefix) + QLatin1Char('/')))
            return QStringLiteral("it is a system folder");
    }
    struct stat info;
    if (::stat(QFile::encodeName(folder).constData(), &info) != 0)
        return QStringLiteral("it cannot be looked at (%1)").arg(qt_error_string(errno));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("it is not a folder");
    if (info.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user (%1)").arg(userName(info.st_uid));
    if (info.st_mode & S_IWOTH)
        return QStringLiteral("every user of this computer may write to it");
    if ((info.st_mode & S_IWGRP) && !isPrivateGroup(info.st_gid))
        return QStringLiteral("the group %1 may write to it").arg(groupName(info.st_gid));
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("you may not write to it");
    return {};
}

// Makes the data folder if needed (missing parents private too) and private; empty when it is
// a folder of the user's, else why it cannot be used.
QString makePrivateFolder(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    for (qsizetype slash = encoded.indexOf('/', 1); slash > 0; slash = encoded.indexOf('/', slash + 1))
        ::mkdir(encoded.left(slash).constData(), 0700); // what is there already stays as it is
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("it could not be made (%1)").arg(qt_error_string(errno));
    struct stat named;
    if (::lstat(encoded.constData(), &named) != 0)
        return QStringLiteral("it cannot be looked at (%1)").arg(qt_error_string(errno));
    if (S_ISLNK(named.st_mode))
        return QStringLiteral("it is a link, not a folder");
    if (!S_ISDIR(named.st_mode))
        return QStringLiteral("it is not a folder");
    if (named.st_uid != ::geteuid())
        return QStringLiteral("it belongs to another user (%1)").arg(userName(named.st_uid));
    // The mode is set through the folder just checked, never through a link swapped in since.
    const int fd = ::open(encoded.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("it cannot be opened (%1)").arg(qt_error_string(errno));
    struct stat opened;
    QString problem;
    if (::fstat(fd, &opened) != 0 || opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        problem = QStringLiteral("it was replaced while it was being checked");
    else if ((opened.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        problem = QStringLiteral("it could not be made private (%1)").arg(qt_error_string(errno));
    ::close(fd);
    return problem;
}

QString absoluteOrEmpty(const QString &path)
{
    return path.startsWith(QLatin1Char('/')) ? path : QString();
}

} // namespace

QString DataFolderPath()
{
    // Relative values are ignored, as the XDG rules say: they would put the list under whatever
    // folder the program was started from.
    if (const QString data = absoluteOrEmpty(qEnvironmentVariable("XDG_DATA_HOME")); !data.isEmpty())
        return QDir::cleanPath(data + QStringLiteral("/bidwarden"));
    QString home = absoluteOrEmpty(qEnvironmentVariable("HOME"));
    if (home.isEmpty()) {
        const passwd *user = ::getpwuid(::geteuid());
        home = user ? absoluteOrEmpty(QFile::decodeName(user->pw_dir)) : QString();
    }
    return home.isEmpty() ? QString() : QDir::cleanPath(home + QStringLiteral("/.local/share/bidwarden"));
}

Result<AppFolderChoice> AppFolder(const QString &programFolder)
{
    const QString refused = programFolderRefusal(programFolder);
    if (refused.isEmpty())
        return AppFolderChoice{programFolder, {}, false};

    const QString why = QStringLiteral("Bidwarden does not keep its files in its own folder, %1, because %2.")
                            .arg(QDir::toNativeSeparators(programFolder), refused);
    const QString data = DataFolderPath();
    if (data.isEmpty())
        return Failure{why + QStringLiteral("\n\nNor can it find your home folder to keep them there.")};
    if (const QString problem = makePrivateFolder(data); !problem.isEmpty())
        return Failure{
            why +
            QStringLiteral("\n\nNor can it keep them in %1, because %2.").arg(QDir::toNativeSeparators(data), problem)};
    // Installed by hand into the data folder itself, the program's folder has just been made private.
    if (QFileInfo(programFolder).canonicalFilePath() == QFileInfo(data).canonicalFilePath())
        return AppFolderChoice{data, {}, false};
    const QString leftList = AppFilePath(programFolder, QString::fromLatin1(BidderStore::FileName));
    const bool listThere = QFileInfo::exists(leftList);
    QString said = why + QStringLiteral(" It keeps them in %1.").arg(QDir::toNativeSeparators(data));
    if (listThere)
        said += QStringLiteral("\n\nThe list of blocked bidders in %1 was not opened. If it is yours, and nobody "
                               "else has changed it, move it into %2.")
                    .arg(QDir::toNativeSeparators(leftList), QDir::toNativeSeparators(data));
    return AppFolderChoice{data, said, listThere};
}
