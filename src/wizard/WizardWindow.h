// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "ui/AppContext.h"

class WindowFlow;

#include <QDialog>

// What the two setup windows share: each is a top-level window of its own that replaces the
// window before it and is deleted when it closes; Escape is their Exit button and ends the
// program, while the frame's close button closes just the window.
class WizardWindow : public QDialog
{
    Q_OBJECT

public:
    explicit WizardWindow(WindowFlow &flow);

    WindowFlow &flow() const { return m_flow; }
    const AppContext &context() const;

    // Escape and the Exit button.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    // Shows the window that takes over, then unloads this one.
    void replaceWith(QWidget *next);
    // Exit, Escape and the frame's close button first stop what the window is doing.
    virtual void stopWork() {}

private:
    WindowFlow &m_flow;
};
