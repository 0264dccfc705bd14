#include "app/AppContext.h"
#include "app/Appearance.h"
#include "app/MessageBox.h"
#include "app/WindowFlow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ApplyAppearance();
    WindowFlow flow(ProgramContext());

    // A bidders.mdb that cannot be used (another program's file, a damaged one, a folder that
    // cannot be written) is reported once here, and the program stops without touching it.
    if (Status usable = flow.list().check(); !usable) {
        MessageBox::fail(nullptr, usable.error());
        return 1;
    }

    flow.showMain();
    return app.exec();
}
