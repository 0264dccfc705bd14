// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "wizard/WizardWindow.h"

#include "app/WindowFlow.h"

#include <QCloseEvent>

WizardWindow::WizardWindow(WindowFlow &flow) : QDialog(nullptr), m_flow(flow)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
}

const AppContext &WizardWindow::context() const
{
    return m_flow.context();
}

void WizardWindow::reject()
{
    stopWork();
    EndProgram();
}

void WizardWindow::closeEvent(QCloseEvent *event)
{
    // QDialog would turn the frame's close into reject(), which here ends the whole program; a
    // plain close only has to unload this window (the program ends anyway if it was the last).
    stopWork();
    event->accept();
}

void WizardWindow::replaceWith(QWidget *next)
{
    if (next)
        next->show();
    close();
}
