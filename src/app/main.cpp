// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "app/SingleInstance.h"
#include "app/WindowFlow.h"
#include "jobs/Leftovers.h"
#include "store/AppFilePath.h"
#include "ui/AppContext.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <sys/prctl.h>

int main(int argc, char *argv[])
{
    // The browser's cookies and the keyring's key pass through this process: no core dump may keep
    // them, and no other process of the user may read its memory.
    prctl(PR_SET_DUMPABLE, 0);
    QApplication app(argc, argv);
    // The launcher's name: Wayland's app_id and X11's WM_CLASS match bidwarden.desktop, so the
    // dock shows the window under the launcher's icon.
    QApplication::setApplicationName(QStringLiteral("bidwarden"));
    QApplication::setDesktopFileName(QStringLiteral("bidwarden"));
    ApplyAppearance();
    // The list is kept only in a folder that is the user's alone; without one, nothing starts.
    const Result<AppFolderChoice> folder = AppFolder(QCoreApplication::applicationDirPath());
    if (!folder) {
        MessageBox::fail(nullptr, folder.error());
        return 1;
    }
    if (!folder->refusal.isEmpty())
        qInfo("%s", qUtf8Printable(folder->refusal));
    WindowFlow flow(ProgramContext(folder->folder));
    SingleInstance instance(flow.context().appFolder);
    if (!instance.claim())
        return instance.exitCode();
    RemoveLeftovers(flow.context().appFolder);

    // A bidders.mdb that cannot be used (another program's file, a damaged one, a folder that
    // cannot be written) is reported once here, and the program stops without touching it.
    if (Status usable = flow.list().check(); !usable) {
        MessageBox::fail(nullptr, usable.error());
        return 1;
    }

    // A list left in the refused folder is not opened there: the seller must know where theirs went.
    if (folder->listLeftBehind)
        MessageBox::tell(nullptr, QString(), folder->refusal, QMessageBox::Warning);
    flow.showMain();
    return app.exec();
}
