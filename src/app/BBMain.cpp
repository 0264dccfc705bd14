// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "app/BBMain.h"

#include "about/frmAbout.h"
#include "app/SaveProgress.h"
#include "app/WindowFlow.h"
#include "dialogs/BBidder.h"
#include "dialogs/BlockedBidder.h"
#include "jobs/SiteConnection.h"
#include "sweep/NARU.h"
#include "ui/MessageBox.h"
#include "ui_BBMain.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

const int kColumnWidths[] = {200, 40, 133, 267};

const QString kUploadTitle = QStringLiteral("Submit to eBay");

} // namespace

BBMain::BBMain(WindowFlow &flow, QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::BBMain>()), m_flow(flow), m_list(flow.list()),
      m_context(flow.context()), m_connection(ConnectionFor(m_context)), m_save(*m_connection, m_list)
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);

    m_ui->ListView1->setModel(&m_list.model());
    QHeaderView *header = m_ui->ListView1->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    for (int column = 0; column < 4; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, kColumnWidths[column]);
    }
    // Stands in the empty list while the list could not be read, saying why nothing can be done.
    m_unreadNotice = new QLabel(QStringLiteral("Bidwarden could not read your list of blocked bidders, so it cannot "
                                               "be changed now.\nClick a column heading to try again."));
    m_unreadNotice->setObjectName(QStringLiteral("UnreadNotice"));
    m_unreadNotice->setTextFormat(Qt::PlainText);
    m_unreadNotice->setAlignment(Qt::AlignCenter);
    m_unreadNotice->setWordWrap(true);
    m_unreadNotice->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_unreadNotice->hide();
    (new QVBoxLayout(m_ui->ListView1->viewport()))->addWidget(m_unreadNotice);

    // A list read afresh, or one that could not be read, changes what can be done.
    connect(&m_list.model(), &QAbstractItemModel::modelReset, this, &BBMain::offerWhatCanBeDone);
    connect(header, &QHeaderView::sectionClicked, this, &BBMain::ListView1_ColumnClick);
    connect(m_ui->ListView1, &QTreeView::doubleClicked, this, &BBMain::ListView1_DblClick);
    // Enter on the list opens the selected row's record as a double click does, for those who
    // work from the keyboard or with a screen reader.
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)})
        new QShortcut(key, m_ui->ListView1, this, &BBMain::ListView1_DblClick, Qt::WidgetShortcut);
    // "Setup &Wizard"
    connect(m_ui->Command1, &QPushButton::clicked, this, [this] {
        openSetupWizard();
        close();
    });
    // "&Block Bidder"
    connect(m_ui->Command5, &QPushButton::clicked, this, &BBMain::Command5_Click);
    // "&Delete Selected"
    connect(m_ui->Command2, &QPushButton::clicked, this, &BBMain::Command2_Click);
    // "&Check for NARU"
    connect(m_ui->Command3, &QPushButton::clicked, this, &BBMain::Command3_Click);
    // "Save to &eBay"
    connect(m_ui->Command4, &QPushButton::clicked, this, &BBMain::Command4_Click);
    connect(&m_save, &SaveToSite::choiceNeeded, this, &BBMain::choiceNeeded);
    connect(&m_save, &SaveToSite::finished, this, &BBMain::uploaded);
    // "&About"
    connect(m_ui->Command8, &QPushButton::clicked, this, [this] {
        frmAbout about(this);
        about.exec();
    });
    // "E&xit"
    connect(m_ui->Command9, &QPushButton::clicked, this, [] { EndProgram(); });
}

BBMain::~BBMain() = default;

bool BBMain::Form_Load()
{
    if (Status loaded = m_list.load(); !loaded) {
        // The window still opens, empty; nothing was read, so nothing is lost.
        MessageBox::fail(this, loaded.error() +
                                   QStringLiteral("\n\nUntil the list can be read, Block Bidder, Delete Selected, "
                                                  "Check for NARU and Save to eBay are off. Click a column heading "
                                                  "to try again."));
        return true;
    }
    updateSortIndicator();
    return !handOverWhenEmpty();
}

bool BBMain::handOverWhenEmpty()
{
    if (m_list.count() > 0 ||
        !MessageBox::ask(this, QStringLiteral("Bidwarden"),
                         QStringLiteral("You have no blocked bidders, do you want to run the setup wizard?")))
        return false;
    openSetupWizard();
    return true;
}

void BBMain::openSetupWizard()
{
    m_flow.showWizard();
}

void BBMain::offerWhatCanBeDone()
{
    // Nothing may act on a list that was not read: the store may hold rows that are not shown. And
    // nothing but Escape while an upload runs.
    const bool idle = !m_save.isRunning(), loaded = m_list.isLoaded();
    for (QWidget *control : {static_cast<QWidget *>(m_ui->ListView1), static_cast<QWidget *>(m_ui->Command1),
                             static_cast<QWidget *>(m_ui->Command8), static_cast<QWidget *>(m_ui->Command9)})
        control->setEnabled(idle);
    for (QPushButton *button : {m_ui->Command5, m_ui->Command2, m_ui->Command3, m_ui->Command4})
        button->setEnabled(idle && loaded);
    m_unreadNotice->setVisible(!loaded);
}

int BBMain::selectedRow() const
{
    const QModelIndexList selected = m_ui->ListView1->selectionModel()->selectedRows();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void BBMain::ListView1_ColumnClick(int column)
{
    // On a failure the list and its order stay as they were. The header has turned its indicator
    // at the click either way, so it is set from the list's order either way.
    const Status sorted = m_list.sortBy(BidderTableModel::columnAt(column));
    updateSortIndicator();
    if (!sorted) {
        MessageBox::fail(this, sorted.error());
        return;
    }
    if (handOverWhenEmpty())
        close();
}

void BBMain::updateSortIndicator()
{
    QHeaderView *header = m_ui->ListView1->header();
    const std::optional<BidderStore::Order> order = m_list.sortOrder();
    header->setSortIndicatorShown(order.has_value());
    if (order)
        header->setSortIndicator(BidderTableModel::sectionOf(order->column),
                                 order->descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void BBMain::ListView1_DblClick()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    BlockedBidder dialog(m_list, row, this);
    if (dialog.Form_Load())
        dialog.exec();
}

void BBMain::Command5_Click()
{
    BBidder dialog(m_list, m_context, this);
    dialog.exec();
}

void BBMain::Command2_Click()
{
    const int row = selectedRow();
    if (row < 0)
        return;
    if (Status removed = m_list.remove(row); !removed)
        MessageBox::fail(this, removed.error());
}

void BBMain::Command3_Click()
{
    NARU sweep(m_list, m_context, this);
    sweep.exec();
}

void BBMain::Command4_Click()
{
    if (m_save.isRunning())
        return;
    // The save's steps are shown over the window, and its questions over them. Not modal: the
    // window's controls are off meanwhile, and a question is the one modal window while it is open.
    m_progress = new SaveProgress(m_save, this);
    m_progress->show();
    m_save.start();
    offerWhatCanBeDone();
}

void BBMain::choiceNeeded(const SaveToSite::Question &question)
{
    QWidget *over = m_progress ? static_cast<QWidget *>(m_progress) : this;
    if (question.siteOnlyIds.isEmpty()) {
        m_save.answer(MessageBox::ask(over, kUploadTitle, question.text) ? SaveToSite::Choice::Send
                                                                         : SaveToSite::Choice::Cancel);
        return;
    }
    // Keep them is the default: it loses nothing.
    switch (MessageBox::choose(over, kUploadTitle, question.text, QStringLiteral("&Keep them"),
                               QStringLiteral("&Remove them"))) {
    case QMessageBox::Yes:
        return m_save.answer(SaveToSite::Choice::Keep);
    case QMessageBox::No:
        return m_save.answer(SaveToSite::Choice::Send);
    default:
        return m_save.answer(SaveToSite::Choice::Cancel);
    }
}

void BBMain::uploaded(const SaveToSite::Outcome &outcome)
{
    // The progress window goes before the notice. It may be the one whose Stop ended the save.
    if (m_progress) {
        m_progress->hide();
        std::exchange(m_progress, nullptr)->deleteLater();
    }
    offerWhatCanBeDone();
    if (outcome.kind == SaveToSite::Outcome::Kind::Done)
        MessageBox::tell(this, QString(), outcome.message, QMessageBox::NoIcon);
    else if (outcome.kind == SaveToSite::Outcome::Kind::Failed)
        MessageBox::fail(this, outcome.message);
}

void BBMain::keyPressEvent(QKeyEvent *event)
{
    // Escape stops an upload until its post is sent; the post itself always runs to its answer.
    if (event->key() == Qt::Key_Escape && m_save.isRunning() && m_save.stop())
        return;
    QWidget::keyPressEvent(event);
}

void BBMain::closeEvent(QCloseEvent *event)
{
    if (!m_save.stop()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
