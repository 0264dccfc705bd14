#include "WizardWindow.h"

#include <QCloseEvent>

WizardWindow::WizardWindow(AppContext context) : QDialog(nullptr), m_context(std::move(context))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
}

void WizardWindow::reject()
{
    if (!m_busy)
        EndProgram();
}

void WizardWindow::closeEvent(QCloseEvent *event)
{
    // QDialog would turn the frame's close into reject(), which here ends the whole program; a
    // plain close only has to unload this window (the program ends anyway if it was the last).
    event->setAccepted(!m_busy);
}

void WizardWindow::replaceWith(QWidget *next)
{
    if (next)
        next->show();
    close();
}
