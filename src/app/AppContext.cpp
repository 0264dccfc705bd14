#include "AppContext.h"

#include <QApplication>

AppContext ProgramContext()
{
    return AppContext{QCoreApplication::applicationDirPath(), QStringLiteral(BIDWARDEN_SITE_URL)};
}

void EndProgram()
{
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}
