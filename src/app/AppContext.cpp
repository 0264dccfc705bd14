// SPDX-License-Identifier: MIT
#include "AppContext.h"

#include "store/AppFilePath.h"

#include <QApplication>

AppContext ProgramContext()
{
    return AppContext{AppFolder(QCoreApplication::applicationDirPath()), QStringLiteral(BIDWARDEN_SITE_URL), {}};
}

std::unique_ptr<SiteClient> ConnectSite(const AppContext &context)
{
    auto site = std::make_unique<SiteClient>(context.siteUrl, context.appFolder);
    site->setTimeouts(context.siteTimeouts);
    return site;
}

void EndProgram()
{
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
