#pragma once

#include <QString>

// What every window of the program needs to know about where it runs. Passed to each window's
// constructor; the program reads no settings, so these are fixed for the whole run.
struct AppContext
{
    QString appFolder; // the folder holding the executable, bidders.mdb and the page files
    QString siteUrl;   // scheme and host of the auction site's CGI endpoint, no trailing slash
};

// The context of the running program: the executable's folder and the compiled-in site.
AppContext ProgramContext();

// Ends the program at once: every window closes, nothing is asked.
void EndProgram();
