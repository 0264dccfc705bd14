// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Joins the application folder and a file name. A Windows folder (C:\Tools, D:\, or a share such
// as \\server\share) keeps its backslashes; any other folder uses "/", whatever characters its
// name holds. The separator is added only when the folder does not already end with it, so a
// drive root like D:\ gives D:\bidders.mdb.
inline QString AppFilePath(const QString &folder, const QString &fileName)
{
    const bool windows = folder.startsWith(QLatin1String("\\\\")) ||
                         (folder.size() >= 2 && folder.at(1) == QLatin1Char(':') && folder.at(0).isLetter());
    const QChar separator = windows ? QLatin1Char('\\') : QLatin1Char('/');
    if (folder.endsWith(separator))
        return folder + fileName;
    return folder + separator + fileName;
}

// The folder that holds bidders.mdb, the page files, cookies.txt, backups/ and the lock: the
// program's own folder when its user may write there (a build, or a copy in the user's folder),
// else the user's data folder (~/.local/share/bidwarden), created private on first use.
QString AppFolder(const QString &programFolder);
