// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "app/BBMain.h"

#include "about/frmAbout.h"
#include "app/WindowFlow.h"
#include "dialogs/BBidder.h"
#include "dialogs/BlockedBidder.h"
#include "session/BrowserSession.h"
#include "site/BlockListUpload.h"
#include "site/NaruChecks.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "store/DateTimeText.h"
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

const QString BBMain::FoundOnSiteReason = QStringLiteral("Found on the site");

// One "Save to eBay": the browser session read, the site's list read, the ids kept from it, then
// the post. A child of the window, so that one ended but not yet deleted goes with the window.
struct BBMain::Upload : QObject
{
    explicit Upload(QObject *window) : QObject(window) {}

    std::unique_ptr<SessionReader> connecting;
    std::unique_ptr<SiteClient> site;
    std::unique_ptr<BlockListUpload> job; // the jobs go before the client they use
    std::unique_ptr<NaruChecks> checks;
    QStringList keeping; // the ids found on the site that the seller keeps
    QList<Bidder> kept;  // those checked so far
    int added = 0;       // how many of them are in the list now
    QString listText;    // the list as it was sent
};

BBMain::BBMain(WindowFlow &flow, QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::BBMain>()), m_flow(flow), m_list(flow.list()),
      m_context(flow.context())
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
    const bool idle = !m_upload, loaded = m_list.isLoaded();
    for (QWidget *control : {static_cast<QWidget *>(m_ui->ListView1), static_cast<QWidget *>(m_ui->Command1),
                             static_cast<QWidget *>(m_ui->Command8), static_cast<QWidget *>(m_ui->Command9)})
        control->setEnabled(idle);
    for (QPushButton *button : {m_ui->Command5, m_ui->Command2, m_ui->Command3, m_ui->Command4})
        button->setEnabled(idle && loaded);
    m_unreadNotice->setVisible(!loaded);
    if (idle)
        unsetCursor();
    else
        setCursor(Qt::WaitCursor);
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
    if (m_upload)
        return;
    m_upload = std::make_unique<Upload>(this);
    offerWhatCanBeDone();
    // The read of the browser session belongs to this upload: one ended while it was under way
    // (waiting to be deleted) takes no client from it.
    m_upload->connecting = ConnectSite(m_context, [this, upload = m_upload.get()](std::unique_ptr<SiteClient> site) {
        if (m_upload.get() != upload)
            return;
        m_upload->site = std::move(site);
        m_upload->job = std::make_unique<BlockListUpload>(*m_upload->site);
        connect(m_upload->job.get(), &BlockListUpload::siteListRead, this, &BBMain::siteListRead);
        connect(m_upload->job.get(), &BlockListUpload::uploaded, this, &BBMain::uploaded);
        connect(m_upload->job.get(), &BlockListUpload::failed, this,
                [this](const SiteError &error) { endUpload(error.message); });
        // Saving replaces the site's list: what the site holds is read first, so that nothing on
        // it is removed without the seller having seen it.
        m_upload->job->readSiteList(m_list.userNames());
    });
}

void BBMain::siteListRead(const QStringList &siteOnlyIds)
{
    const QStringList userNames = m_list.userNames();
    unsetCursor(); // the question is no wait
    if (siteOnlyIds.isEmpty()) {
        if (!MessageBox::ask(this, kUploadTitle, UploadQuestion(userNames)))
            return endUpload(QString());
        return sendList();
    }
    // Keep them is the default: it loses nothing.
    switch (MessageBox::choose(this, kUploadTitle, UploadQuestion(userNames, siteOnlyIds), QStringLiteral("&Keep them"),
                               QStringLiteral("&Remove them"))) {
    case QMessageBox::Yes:
        return keepSiteOnly(siteOnlyIds);
    case QMessageBox::No:
        return sendList();
    default:
        return endUpload(QString());
    }
}

void BBMain::keepSiteOnly(const QStringList &siteOnlyIds)
{
    setCursor(Qt::WaitCursor);
    // Each kept id is checked and stored as Block Bidder stores one; the list changes only once
    // every one of them has an answer.
    Upload &upload = *m_upload;
    upload.keeping = siteOnlyIds;
    upload.checks = std::make_unique<NaruChecks>(*upload.site);
    connect(upload.checks.get(), &NaruChecks::answered, this, [this](int index, bool naru) {
        m_upload->kept.append(Bidder{m_upload->keeping.at(index), NaruValue(naru), DateTimeText(), FoundOnSiteReason});
    });
    connect(upload.checks.get(), &NaruChecks::failed, this, [this](int index, const SiteError &error) {
        endUpload(QStringLiteral("Bidwarden could not check whether \"%1\" is a registered user, so nothing was "
                                 "added to your list or sent to the site.\n\n%2")
                      .arg(m_upload->keeping.at(index), error.message));
    });
    connect(upload.checks.get(), &NaruChecks::finished, this, [this] {
        QString failure;
        {
            const BidderList::Session session(m_list);
            for (const Bidder &bidder : std::as_const(m_upload->kept)) {
                if (Status added = m_list.add(bidder); !added) {
                    failure = added.error() + QStringLiteral("\n\nSo nothing was sent to the site.");
                    break;
                }
                ++m_upload->added;
            }
        }
        if (!failure.isEmpty())
            return endUpload(failure);
        sendList();
    });
    upload.checks->start(siteOnlyIds);
}

void BBMain::sendList()
{
    setCursor(Qt::WaitCursor);
    const QStringList userNames = m_list.userNames();
    m_upload->listText = BidderListText(userNames);
    m_upload->job->send(userNames);
}

void BBMain::uploaded(const UploadCheck &check)
{
    if (!check.done())
        return endUpload(UploadNotKeptMessage(check));
    const QString listText = m_upload->listText;
    endUpload(QString());
    MessageBox::tell(this, QString(), QStringLiteral("Added %1 to your eBay Blocked Bidders").arg(listText),
                     QMessageBox::NoIcon);
}

void BBMain::endUpload(const QString &failure)
{
    if (!m_upload)
        return;
    // The jobs may be the ones whose signal is being handled, and the message below runs an event
    // loop of its own: they go once control is back in this event loop, not in that one.
    Upload *upload = m_upload.release();
    upload->deleteLater();
    if (upload->checks)
        upload->checks->stop();
    if (upload->job)
        upload->job->stop();
    offerWhatCanBeDone();
    if (failure.isEmpty())
        return;
    // Ids kept from the site stay in the list, stored, even when the post was never sent.
    const int found = int(upload->keeping.size());
    QString list = QStringLiteral("Your local list is unchanged.");
    if (upload->added == found && found > 0)
        list = QStringLiteral("The bidders found on the site are in your list now.");
    else if (upload->added > 0)
        list = QStringLiteral("%1 of the %2 bidders found on the site are in your list now.")
                   .arg(QString::number(upload->added), QString::number(found));
    MessageBox::fail(this, failure + QStringLiteral("\n\n") + list);
}

bool BBMain::posting() const
{
    return m_upload && m_upload->job && m_upload->job->isPosting();
}

void BBMain::keyPressEvent(QKeyEvent *event)
{
    // Escape stops an upload until its post is sent; the post itself always runs to its answer.
    if (event->key() == Qt::Key_Escape && m_upload && !posting()) {
        endUpload(QString());
        return;
    }
    QWidget::keyPressEvent(event);
}

void BBMain::closeEvent(QCloseEvent *event)
{
    if (posting()) {
        event->ignore();
        return;
    }
    endUpload(QString());
    QWidget::closeEvent(event);
}
