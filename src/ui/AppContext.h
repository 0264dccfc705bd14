// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"

#include <QString>
#include <functional>
#include <memory>

class SessionReader;

// What every window of the program needs to know about where it runs. Passed to each window's
// constructor; the program reads no settings, so these are fixed for the whole run.
struct AppContext
{
    QString appFolder;                 // the folder holding bidders.mdb and the page files (AppFolder)
    QString siteUrl;                   // scheme and host of the auction site's CGI endpoint, no trailing slash
    SiteClient::Timeouts siteTimeouts; // how long a request may wait, and between its tries
};

// Reads the signed-in browser's session as it is now, off the window's thread and with a wait
// cursor showing, then hands ready a client for the site that carries it. Dropping the returned
// reader (the window closed) cancels the read, and ready is not called.
std::unique_ptr<SessionReader> ConnectSite(const AppContext &context,
                                           std::function<void(std::unique_ptr<SiteClient>)> ready);

// The context of the running program: its data folder (AppFolder's choice) and the compiled-in site.
AppContext ProgramContext(const QString &appFolder);

// Ends the program at once: every window closes, nothing is asked.
void EndProgram();
