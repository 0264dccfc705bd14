// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/Result.h"

#include <QString>

// Joins the application folder and a file name, adding "/" only when the folder does not end
// with it (the root folder does).
inline QString AppFilePath(const QString &folder, const QString &fileName)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + fileName : folder + QLatin1Char('/') + fileName;
}

// Where the program keeps bidders.mdb, the page files, cookies.txt, backups/ and the lock.
struct AppFolderChoice
{
    QString folder;
    // Why the program's own folder was not used, in plain words (and, when it holds a list, what
    // became of that); empty when it was.
    QString refusal;
    // The refused folder holds a list of blocked bidders, which the program does not open: the
    // seller needs to be told where their list went.
    bool listLeftBehind = false;
};

// The program's own folder when it is the user's alone: owned by the user, writable by them, and
// by nobody else, except by the user's private group (named after the user, their primary group,
// with no other member listed), as a umask of 002 leaves it. Else the user's data folder
// (DataFolderPath()), made if missing, which must be a folder of the user's and not a link, and
// is made private (0700). Fails, saying which folders and why, when neither can be used.
Result<AppFolderChoice> AppFolder(const QString &programFolder);

// $XDG_DATA_HOME/bidwarden when that is an absolute path, else ~/.local/share/bidwarden, the home
// folder taken from the password database when $HOME is unset or not absolute.
QString DataFolderPath();
