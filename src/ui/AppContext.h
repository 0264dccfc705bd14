// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "jobs/SiteConnection.h"

#include <QString>
#include <memory>

class SiteConnection;

// What every window of the program needs to know about where it runs. Passed to each window's
// constructor; the program reads no settings, so these are fixed for the whole run.
struct AppContext
{
    QString appFolder;                 // the folder holding bidders.mdb and the page files (AppFolder)
    QString siteUrl;                   // scheme and host of the auction site's CGI endpoint, no trailing slash
    SiteClient::Timeouts siteTimeouts; // how long a request may wait, and between its tries
};

// A window's connection to the site, showing a wait cursor while it reads the browser session.
// The window keeps it as a member: closing the window cancels a read under way.
std::unique_ptr<SiteConnection> ConnectionFor(const AppContext &context);

// The context of the running program: its data folder (AppFolder's choice) and the compiled-in site.
AppContext ProgramContext(const QString &appFolder);

// Ends the program at once: every window closes, nothing is asked.
void EndProgram();
