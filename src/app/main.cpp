#include "AppContext.h"
#include "Appearance.h"
#include "BBMain.h"
#include "MessageBox.h"
#include "SingleInstance.h"
#include "store/AppFilePath.h"
#include "store/BidderStore.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The launcher's name: Wayland's app_id and X11's WM_CLASS match bidwarden.desktop, so the
    // dock shows the window under the launcher's icon.
    QApplication::setApplicationName(QStringLiteral("bidwarden"));
    QApplication::setDesktopFileName(QStringLiteral("bidwarden"));
    ApplyAppearance();
    const AppContext context = ProgramContext();
    SingleInstance instance(context.appFolder);
    if (!instance.claim())
        return instance.exitCode();

    // A bidders.mdb that cannot be used (another program's file, a damaged one, a folder that
    // cannot be written) is reported once here, and the program stops without touching it.
    {
        BidderStore store(AppFilePath(context.appFolder, QString::fromLatin1(BidderStore::FileName)));
        if (!store.open()) {
            MessageBox::fail(nullptr, store.lastError());
            return 1;
        }
    }

    BBMain::showFresh(context);
    return app.exec();
}
