#pragma once

#include "AppContext.h"
#include "store/BidderStore.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

namespace Ui {
class BBMain;
}

// The main window: the list of blocked bidders and a button per job. The list is the shared
// view of the store; other windows change its rows through the small list API below, side by
// side with the store, so it is re-read from the store only at load and on a header click.
class BBMain : public QWidget
{
    Q_OBJECT

public:
    explicit BBMain(AppContext context, QWidget *parent = nullptr);
    ~BBMain() override;

    // The one main window of the program, or nullptr while the setup wizard has replaced it.
    static BBMain *instance();

    // Creates a main window, loads it and shows it. Returns nullptr when the load handed over to
    // the setup wizard instead (the empty-store question answered Yes).
    static BBMain *showFresh(const AppContext &context);

    // Fills the list from the store, asking to run the setup wizard when the store is empty.
    // Returns false when the window has handed over to the wizard and must not be shown.
    bool Form_Load();

    // The list, rows numbered from 1 in display order; cell 1 = NARU, 2 = Date Added, 3 = Reason.
    int rowCount() const;
    QString rowText(int row) const;
    QString cellText(int row, int cell) const;
    int appendRow(const QString &text);
    void setCell(int row, int cell, const QString &text);
    int selectedRow() const; // 0 when no row is selected
    void selectRow(int row);
    void removeRow(int row);

    // The last header sort: "UserName", "UserNameDESC", ..., "dateTime", or empty.
    const QString &sortMarker() const { return m_sortMarker; }
    const AppContext &context() const { return m_context; }
    QString storePath() const;

private:
    enum class FillResult
    {
        Filled,
        Empty,
        HandedOver,
        Failed
    };
    FillResult FillBidderList(std::optional<BidderStore::Order> order);
    void showRows(const QList<Bidder> &bidders);
    bool askToRunWizard();
    void openSetupWizard();
    void updateSortIndicator();

    void ListView1_ColumnClick(int column);
    void ListView1_DblClick();
    void Command2_Click();
    void Command4_Click();

    const std::unique_ptr<Ui::BBMain> m_ui;
    const AppContext m_context;
    QString m_sortMarker;
};
