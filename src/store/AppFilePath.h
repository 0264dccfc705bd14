#pragma once

#include <QString>

// Joins the application folder and a file name. The folder's own separator is used (a Windows
// path such as C:\Tools or \\server\share keeps its backslashes), and one is added only when the
// folder does not already end with it, so a drive root like D:\ gives D:\bidders.mdb.
inline QString AppFilePath(const QString &folder, const QString &fileName)
{
    const QChar separator = folder.contains(QLatin1Char('\\')) ? QLatin1Char('\\') : QLatin1Char('/');
    if (folder.endsWith(separator))
        return folder + fileName;
    return folder + separator + fileName;
}
