// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "ui/AppContext.h"

#include "session/BrowserSession.h"

#include <QApplication>

AppContext ProgramContext(const QString &appFolder)
{
    return AppContext{appFolder, QStringLiteral(BIDWARDEN_SITE_URL), {}};
}

std::unique_ptr<SessionReader> ConnectSite(const AppContext &context,
                                           std::function<void(std::unique_ptr<SiteClient>)> ready)
{
    auto reader = std::make_unique<SessionReader>();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // The cursor comes back once, whether the read ends or is dropped first.
    auto restore = std::make_shared<bool>(true);
    auto restoreCursor = [restore] {
        if (std::exchange(*restore, false))
            QGuiApplication::restoreOverrideCursor();
    };
    QObject::connect(reader.get(), &QObject::destroyed, QCoreApplication::instance(), restoreCursor);
    QObject::connect(reader.get(), &SessionReader::finished, reader.get(),
                     [context, ready = std::move(ready), restoreCursor](const BrowserCookies &cookies) {
                         restoreCursor();
                         auto site = std::make_unique<SiteClient>(context.siteUrl, context.appFolder, cookies);
                         site->setTimeouts(context.siteTimeouts);
                         ready(std::move(site));
                     });
    reader->start(context.siteUrl, context.appFolder);
    return reader;
}

void EndProgram()
{
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
