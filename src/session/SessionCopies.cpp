// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/SessionCopies.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// GLib's headers use "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace {

const QByteArray kCopyPrefix = "bidwarden-cookies-";
// A copy is a folder of files; anything deeper was not made by us.
constexpr int kDeepestCopy = 4;

// Opens the folder name in the folder open as parentFd, when it is still the one fstatat saw (a
// folder of ours, not swapped for a link or another folder since); -1 otherwise.
int openOwnFolder(int parentFd, const char *name, const struct stat &seen)
{
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat opened;
    if (fd >= 0 && ::fstat(fd, &opened) == 0 && opened.st_dev == seen.st_dev && opened.st_ino == seen.st_ino &&
        opened.st_uid == ::geteuid())
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// A listing of the folder open as folderFd, through a descriptor of its own; null when there is none.
DIR *listFolder(int folderFd)
{
    const int fd = ::fcntl(folderFd, F_DUPFD_CLOEXEC, 0);
    DIR *folder = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!folder && fd >= 0)
        ::close(fd);
    return folder;
}

void removeContents(int folderFd, int depth);

// Removes the folder name, in the folder open as parentFd, with all it holds, when it is still the
// user's own folder that fstatat saw.
void removeOwnFolder(int parentFd, const char *name, const struct stat &seen, int depth)
{
    const int fd = openOwnFolder(parentFd, name, seen);
    if (fd < 0)
        return;
    removeContents(fd, depth);
    ::close(fd);
    ::unlinkat(parentFd, name, AT_REMOVEDIR);
}

// Empties the folder open as folderFd: a link is removed as a link, never followed, and only the
// user's own entries go.
void removeContents(int folderFd, int depth)
{
    DIR *folder = listFolder(folderFd);
    if (!folder)
        return;
    while (const dirent *entry = ::readdir(folder)) {
        const char *name = entry->d_name;
        struct stat seen;
        if (!std::strcmp(name, ".") || !std::strcmp(name, "..") ||
            ::fstatat(folderFd, name, &seen, AT_SYMLINK_NOFOLLOW) != 0 || seen.st_uid != ::geteuid())
            continue;
        if (!S_ISDIR(seen.st_mode)) {
            ::unlinkat(folderFd, name, 0);
            continue;
        }
        if (depth < kDeepestCopy)
            removeOwnFolder(folderFd, name, seen, depth + 1);
    }
    ::closedir(folder);
}

// A process id still in use is another program's read under way, unless it is ours: then it was a
// crashed run's whose number came round again.
bool isStale(const QByteArray &name)
{
    if (!name.startsWith(kCopyPrefix))
        return false;
    const qint64 pid = name.mid(kCopyPrefix.size()).split('-').value(0).toLongLong();
    const bool running = pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
    return !running || pid == ::getpid();
}

} // namespace

SessionStop::SessionStop(int keyringWaitMs) : m_keyringWaitMs(keyringWaitMs), m_cancellable(g_cancellable_new()) {}

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

QString SessionCopiesFolder()
{
    return UserRuntimeFolder();
}

QString SessionCopyTemplate(const QString &copiesIn)
{
    return QDir(copiesIn).filePath(QString::fromLatin1(kCopyPrefix) + QString::number(::getpid()) +
                                   QStringLiteral("-XXXXXX"));
}

void RemoveStaleSessionCopies()
{
    const QString runtime = UserRuntimeFolder();
    if (runtime.isEmpty())
        return;
    const int runtimeFd =
        ::open(QFile::encodeName(runtime).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (runtimeFd < 0)
        return;
    struct stat self;
    DIR *folder = ::fstat(runtimeFd, &self) == 0 && self.st_uid == ::geteuid() ? listFolder(runtimeFd) : nullptr;
    while (const dirent *entry = folder ? ::readdir(folder) : nullptr) {
        struct stat seen;
        if (isStale(QByteArray(entry->d_name)) &&
            ::fstatat(runtimeFd, entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(seen.st_mode))
            removeOwnFolder(runtimeFd, entry->d_name, seen, 1);
    }
    if (folder)
        ::closedir(folder);
    ::close(runtimeFd);
}
