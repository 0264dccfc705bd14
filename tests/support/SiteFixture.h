// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "StandinSite.h"
#include "TestSupport.h"
#include "site/SiteClient.h"

#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

// What the tests on the stand-in site share: a HOME without the developer's own browser cookies, a
// fresh folder and site for each test, and retries that wait only a moment.
class SiteFixture
{
protected:
    // False when there is no empty HOME to give the program.
    bool useEmptyHome()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        QLocale::setDefault(QLocale(QStringLiteral("en_GB")));
        return m_home.isValid();
    }
    // False when the site would not start.
    bool startSite()
    {
        m_folder = std::make_unique<TestFolder>();
        m_site = std::make_unique<StandinSite>();
        m_quick.retryWaitsMs = {10, 20};
        return m_site->start();
    }
    QString siteUrl() const { return QString::fromStdString(m_site->baseUrl()); }
    // The lists posted so far, each as its body gives it after "bidderlist=".
    QStringList posted() const
    {
        QStringList bodies;
        for (const auto &request : m_site->requests())
            if (request.method == "POST")
                bodies << QString::fromStdString(request.body).section('=', 4);
        return bodies;
    }

    QTemporaryDir m_home;
    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<StandinSite> m_site;
    SiteClient::Timeouts m_quick;
};
