// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <memory>

class BidderList;
class QLabel;
class SessionReader;
class WindowFlow;
struct AppContext;
struct UploadCheck;

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

    // The reason given to the ids found on the site that the seller keeps before saving.
    static const QString FoundOnSiteReason;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    struct Upload;

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

    // The steps of "Save to eBay", each started by the answer to the one before.
    void siteListRead(const QStringList &siteOnlyIds);
    void keepSiteOnly(const QStringList &siteOnlyIds);
    void sendList();
    void uploaded(const UploadCheck &check);
    // Ends the upload: the window usable again, and the failure, if any, told.
    void endUpload(const QString &failure);
    // Once the post is sent, the upload runs to the site's answer.
    bool posting() const;
    // The controls on or off, and the cursor, for the list's state and a running upload.
    void offerWhatCanBeDone();

    const std::unique_ptr<Ui::BBMain> m_ui;
    WindowFlow &m_flow;
    BidderList &m_list;
    const AppContext &m_context;
    QLabel *m_unreadNotice;
    std::unique_ptr<Upload> m_upload;
};
