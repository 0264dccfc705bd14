// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/BlockListUpload.h"
#include "site/NaruChecks.h"
#include "site/ParallelGets.h"

#include <QEventLoop>
#include <optional>

// The site jobs as the windows run them, each to its end in an event loop of its own.
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

inline SiteResult<QStringList> fetchBlockedList(const SiteClient &site)
{
    ParallelGets gets(site);
    QEventLoop loop;
    SiteResult<QStringList> result = SiteError{};
    QObject::connect(&gets, &ParallelGets::fetched, &loop, [&](int, const FetchedPage &page) {
        result = BlockedListAnswer(site, page.reply, SplitPageLines(page.body));
        loop.quit();
    });
    QObject::connect(&gets, &ParallelGets::failed, &loop, [&](int, const SiteError &error) {
        result = error;
        loop.quit();
    });
    gets.start({BlockPagePath()});
    loop.exec();
    return result;
}

// The site's list read first, then the post and the read-back.
inline SiteResult<UploadCheck> uploadList(const SiteClient &site, const QStringList &ids)
{
    BlockListUpload job(site);
    QEventLoop loop;
    SiteResult<UploadCheck> result = SiteError{};
    QObject::connect(&job, &BlockListUpload::siteListRead, &loop, [&] { job.send(ids); });
    QObject::connect(&job, &BlockListUpload::uploaded, &loop, [&](const UploadCheck &check) {
        result = check;
        loop.quit();
    });
    QObject::connect(&job, &BlockListUpload::failed, &loop, [&](const SiteError &error) {
        result = error;
        loop.quit();
    });
    job.readSiteList(ids);
    loop.exec();
    return result;
}
