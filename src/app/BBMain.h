// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "jobs/SaveToSite.h"

#include <QWidget>
#include <memory>

class BidderList;
class SaveProgress;
class QLabel;
class SiteConnection;
class WindowFlow;
struct AppContext;

namespace Ui {
class BBMain;
}

// The main window: the list of blocked bidders and a button per job. Its view shows the
// BidderList's model, which redraws just what each change touched; the dialogs it opens change
// the list, never the window.
class BBMain : public QWidget
{
    Q_OBJECT

public:
    explicit BBMain(WindowFlow &flow, QWidget *parent = nullptr);
    ~BBMain() override;

    // Fills the list from the store, asking to run the setup wizard when the store is empty.
    // Returns false when the window has handed over to the wizard and must not be shown.
    bool Form_Load();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // True when the list is empty and the user chose to run the wizard, which is then open.
    bool handOverWhenEmpty();
    void openSetupWizard();
    void updateSortIndicator();
    int selectedRow() const; // -1 when no row is selected

    void ListView1_ColumnClick(int column);
    void ListView1_DblClick();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();

    // "Save to eBay" asks what to do with the ids only the site holds, and shows how it ended.
    void choiceNeeded(const SaveToSite::Question &question);
    void uploaded(const SaveToSite::Outcome &outcome);
    // The controls on or off for the list's state and a running upload.
    void offerWhatCanBeDone();

    const std::unique_ptr<Ui::BBMain> m_ui;
    WindowFlow &m_flow;
    BidderList &m_list;
    const AppContext &m_context;
    QLabel *m_unreadNotice;
    const std::unique_ptr<SiteConnection> m_connection;
    SaveToSite m_save;                  // after the connection it uses
    SaveProgress *m_progress = nullptr; // while a save runs
};
