#pragma once

#include "wizard/WizardWindow.h"

#include <memory>

namespace Ui {
class Setup2;
}

// The second setup step: Download replaces the local list with the one the site holds for the
// signed-in seller, checking each id for NARU on the way; Next opens the main window on it.
class Setup2 : public WizardWindow
{
    Q_OBJECT

public:
    explicit Setup2(WindowFlow &flow);
    ~Setup2() override;

    static const QString ImportReason;

private:
    void Command1_Click();
    // Empty when the import succeeded, else what to tell the user; a failed import leaves the
    // store and this window as they were.
    QString importSiteList();
    void Back_Click();
    void Next_Click();

    const std::unique_ptr<Ui::Setup2> m_ui;
};
