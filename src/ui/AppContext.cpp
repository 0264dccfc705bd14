// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "ui/AppContext.h"

#include "jobs/SiteConnection.h"

#include <QApplication>

AppContext ProgramContext(const QString &appFolder)
{
    return AppContext{appFolder, QStringLiteral(BIDWARDEN_SITE_URL), {}};
}

std::unique_ptr<SiteConnection> ConnectionFor(const AppContext &context)
{
    auto connection = std::make_unique<SiteConnection>(context.siteUrl, context.appFolder, context.siteTimeouts);
    QObject::connect(connection.get(), &SiteConnection::readingChanged, connection.get(), [](bool reading) {
        if (reading)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    });
    return connection;
}

void EndProgram()
{
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
