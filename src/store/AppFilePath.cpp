// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "AppFilePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <unistd.h>

QString AppFolder(const QString &programFolder)
{
    // Root can write into the system's program folders too, but a list kept in /usr/bin would be
    // shared by every user and lost to the package manager; those always send it home.
    const QString canonical = QFileInfo(programFolder).canonicalFilePath();
    bool systemFolder = false;
    for (const char *prefix : {"/usr", "/bin", "/sbin", "/opt"})
        systemFolder = systemFolder || canonical == QLatin1String(prefix) ||
                       canonical.startsWith(QLatin1String(prefix) + QLatin1Char('/'));
    if (!systemFolder && ::access(QFile::encodeName(programFolder).constData(), W_OK | X_OK) == 0)
        return programFolder;

    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty())
        return programFolder; // no home folder: the store's own check reports the folder it cannot write
    // The list, the site's pages and the cookies are the seller's own: made private on first use.
    QDir().mkpath(QFileInfo(data).path());
    QDir().mkdir(data, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return data;
}
