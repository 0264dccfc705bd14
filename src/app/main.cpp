// SPDX-License-Identifier: MIT
#include "app/AppContext.h"
#include "app/Appearance.h"
#include "app/MessageBox.h"
#include "app/SingleInstance.h"
#include "app/WindowFlow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The launcher's name: Wayland's app_id and X11's WM_CLASS match bidwarden.desktop, so the
    // dock shows the window under the launcher's icon.
    QApplication::setApplicationName(QStringLiteral("bidwarden"));
    QApplication::setDesktopFileName(QStringLiteral("bidwarden"));
    ApplyAppearance();
    WindowFlow flow(ProgramContext());
    SingleInstance instance(flow.context().appFolder);
    if (!instance.claim())
        return instance.exitCode();

    // A bidders.mdb that cannot be used (another program's file, a damaged one, a folder that
    // cannot be written) is reported once here, and the program stops without touching it.
    if (Status usable = flow.list().check(); !usable) {
        MessageBox::fail(nullptr, usable.error());
        return 1;
    }

    flow.showMain();
    return app.exec();
}
