#include "AppContext.h"
#include "Appearance.h"
#include "BBMain.h"
#include "MessageBox.h"
#include "store/AppFilePath.h"
#include "store/BidderStore.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ApplyAppearance();
    const AppContext context = ProgramContext();

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
