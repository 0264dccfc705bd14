// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardWindow.h"

#include <memory>

struct FetchedPage;

namespace Ui {
class Setup2;
}

// The second setup step: Download replaces the local list with the one the site holds for the
// signed-in seller, checking each id for NARU on the way; Next opens the main window on it. The
// window stays alive during the import, and Exit, Escape or its close button stop it; the store
// changes only once every id has been checked, all at once.
class Setup2 : public WizardWindow
{
    Q_OBJECT

public:
    explicit Setup2(WindowFlow &flow);
    ~Setup2() override;

    static const QString ImportReason;

protected:
    void stopWork() override;

private:
    struct Import;

    void Command1_Click();
    void downloadList();
    void Back_Click();
    void Next_Click();
    void listDownloaded(const FetchedPage &fetched);
    void entryChecked(int index, bool naru);
    void showPendingLines();
    void allChecked();
    // Ends the import: the window as it was before it and the store untouched, or the new list.
    void endImport(const QString &failure);

    const std::unique_ptr<Ui::Setup2> m_ui;
    std::unique_ptr<Import> m_import;
};
