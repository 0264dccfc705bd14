// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "jobs/Leftovers.h"

#include "session/SessionCopies.h"
#include "site/SiteClient.h"

void RemoveLeftovers(const QString &appFolder)
{
    RemoveStaleSessionCopies();
    SiteClient::RemoveUnfinishedPageFiles(appFolder);
}
