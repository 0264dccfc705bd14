// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "jobs/ImportFromSite.h"
#include "wizard/WizardWindow.h"

#include <QTimer>
#include <memory>

class SiteConnection;

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

protected:
    void stopWork() override;

private:
    void Command1_Click();
    void Back_Click();
    void Next_Click();
    void listRead(int count);
    void idChecked(int index, const QString &userId, bool naru);
    void showPendingLines();
    void imported(const Result<ImportFromSite::Imported> &result);
    // The list box and the bar as the last import left them, or as the window opened.
    void showLastImport();
    void setWorking(bool working);

    const std::unique_ptr<Ui::Setup2> m_ui;
    const std::unique_ptr<SiteConnection> m_connection;
    // A child, so the window finds its jobs; it goes before the connection it uses.
    const std::unique_ptr<ImportFromSite> m_import;
    int m_stride = 1; // a step smaller than a pixel does not show; the bar moves only when it shows
    // Lines checked but not shown yet: the list takes them a few times a second, not one by one
    // (a redraw for every line would cost more than checking it).
    QStringList m_pendingLines;
    QTimer m_lineTimer;
};
