// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/NaruChecks.h"

#include <QEventLoop>
#include <QStringList>

// The lookups as the jobs run them, to their end in an event loop of its own.
inline bool runLookups(const SiteClient &site, const QStringList &ids)
{
    NaruChecks checks(site);
    QEventLoop loop;
    bool ok = true;
    QObject::connect(&checks, &NaruChecks::finished, &loop, &QEventLoop::quit);
    QObject::connect(&checks, &NaruChecks::failed, &loop, [&] {
        ok = false;
        loop.quit();
    });
    checks.start(ids);
    loop.exec();
    return ok;
}
