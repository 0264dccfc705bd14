#include "BBMain.h"

#include "MessageBox.h"
#include "about/frmAbout.h"
#include "dialogs/BBidder.h"
#include "dialogs/BlockedBidder.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "store/AppFilePath.h"
#include "sweep/NARU.h"
#include "ui_BBMain.h"
#include "wizard/Setup1.h"

#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QTreeWidgetItem>

namespace {

QPointer<BBMain> g_instance;

const QString kWizardQuestion = QStringLiteral("You have no blocked bidders, do you want to run the setup wizard?");

struct SortChoice
{
    QString header;
    QString ascendingMarker;
    BidderStore::Column column;
};

// Header texts, the markers a sort leaves, and the column each orders, in the order the header
// text is matched.
const SortChoice kSortChoices[] = {
    {QStringLiteral("UserName"), QStringLiteral("UserName"), BidderStore::Column::UserName},
    {QStringLiteral("NARU"), QStringLiteral("NARU"), BidderStore::Column::Naru},
    {QStringLiteral("Reason"), QStringLiteral("Reason"), BidderStore::Column::Reason},
    {QStringLiteral("Date Added"), QStringLiteral("dateTime"), BidderStore::Column::DateTime},
};

const int kColumnWidths[] = {200, 40, 133, 267};

} // namespace

BBMain::BBMain(AppContext context, QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::BBMain>()), m_context(std::move(context))
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    g_instance = this;

    QHeaderView *header = m_ui->ListView1->header();
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
    for (int column = 0; column < 4; ++column) {
        header->setSectionResizeMode(column, QHeaderView::Interactive);
        header->resizeSection(column, kColumnWidths[column]);
    }

    connect(header, &QHeaderView::sectionClicked, this, &BBMain::ListView1_ColumnClick);
    connect(m_ui->Command1, &QPushButton::clicked, this, [this] {
        openSetupWizard();
        close();
    });
    connect(m_ui->Command2, &QPushButton::clicked, this, &BBMain::Command2_Click);
    connect(m_ui->Command5, &QPushButton::clicked, this, [this] {
        BBidder dialog(*this);
        dialog.exec();
    });
    connect(m_ui->Command3, &QPushButton::clicked, this, [this] {
        NARU sweep(*this);
        sweep.exec();
    });
    connect(m_ui->Command4, &QPushButton::clicked, this, &BBMain::Command4_Click);
    connect(m_ui->ListView1, &QTreeWidget::itemDoubleClicked, this, &BBMain::ListView1_DblClick);
    connect(m_ui->Command8, &QPushButton::clicked, this, [this] {
        frmAbout about(this);
        about.exec();
    });
    connect(m_ui->Command9, &QPushButton::clicked, this, [] { EndProgram(); });
}

BBMain::~BBMain() = default;

BBMain *BBMain::instance()
{
    return g_instance.data();
}

BBMain *BBMain::showFresh(const AppContext &context)
{
    auto *window = new BBMain(context);
    if (!window->Form_Load()) {
        delete window;
        return nullptr;
    }
    window->show();
    return window;
}

QString BBMain::storePath() const
{
    return AppFilePath(m_context.appFolder, QString::fromLatin1(BidderStore::FileName));
}

bool BBMain::Form_Load()
{
    return FillBidderList(std::nullopt) != FillResult::HandedOver;
}

BBMain::FillResult BBMain::FillBidderList(std::optional<BidderStore::Order> order)
{
    std::optional<QList<Bidder>> bidders;
    {
        BidderStore store(storePath());
        bidders = store.readAll(order);
        if (!bidders) {
            // The list keeps what it showed; nothing was read, so nothing is lost.
            MessageBox::fail(this, store.lastError());
            return FillResult::Failed;
        }
    }
    showRows(*bidders);
    if (!bidders->isEmpty())
        return FillResult::Filled;
    return askToRunWizard() ? FillResult::HandedOver : FillResult::Empty;
}

void BBMain::showRows(const QList<Bidder> &bidders)
{
    QTreeWidget *list = m_ui->ListView1;
    list->clear();
    QList<QTreeWidgetItem *> items;
    items.reserve(bidders.size());
    for (const Bidder &bidder : bidders)
        items.append(new QTreeWidgetItem(QStringList{bidder.userName, bidder.naru, bidder.dateTime, bidder.reason}));
    list->addTopLevelItems(items);
}

bool BBMain::askToRunWizard()
{
    if (!MessageBox::ask(this, QStringLiteral("Bidwarden"), kWizardQuestion))
        return false;
    openSetupWizard();
    return true;
}

void BBMain::openSetupWizard()
{
    // Shown before this window goes, so the program never runs out of windows and quits.
    (new Setup1(m_context))->show();
}

void BBMain::ListView1_ColumnClick(int column)
{
    const QString header = m_ui->ListView1->headerItem()->text(column);
    for (const SortChoice &choice : kSortChoices) {
        if (header != choice.header)
            continue;
        const bool descending = m_sortMarker == choice.ascendingMarker;
        const QString previousMarker = std::exchange(
            m_sortMarker, descending ? choice.ascendingMarker + QStringLiteral("DESC") : choice.ascendingMarker);
        switch (FillBidderList(BidderStore::Order{choice.column, descending})) {
        case FillResult::Failed:
            m_sortMarker = previousMarker;
            break;
        case FillResult::HandedOver:
            close();
            return;
        default:
            break;
        }
        updateSortIndicator();
        return;
    }
}

void BBMain::updateSortIndicator()
{
    QHeaderView *header = m_ui->ListView1->header();
    for (int column = 0; column < 4; ++column) {
        const QString text = m_ui->ListView1->headerItem()->text(column);
        for (const SortChoice &choice : kSortChoices) {
            if (choice.header != text || !m_sortMarker.startsWith(choice.ascendingMarker))
                continue;
            header->setSortIndicatorShown(true);
            header->setSortIndicator(column, m_sortMarker.endsWith(QStringLiteral("DESC")) ? Qt::DescendingOrder
                                                                                           : Qt::AscendingOrder);
            return;
        }
    }
    header->setSortIndicatorShown(false);
}

void BBMain::ListView1_DblClick()
{
    if (selectedRow() == 0)
        return;
    BlockedBidder dialog(*this);
    if (dialog.Form_Load())
        dialog.exec();
}

void BBMain::Command2_Click()
{
    const int row = selectedRow();
    if (row == 0)
        return;
    const QString userName = rowText(row);
    BidderStore store(storePath());
    if (!store.removeUser(userName)) {
        MessageBox::fail(this, store.lastError());
        return;
    }
    removeRow(row);
}

void BBMain::Command4_Click()
{
    QStringList userNames;
    for (int row = 1; row <= rowCount(); ++row)
        userNames << rowText(row);
    const QString listText = BidderListText(userNames);
    if (!MessageBox::ask(this, QStringLiteral("Submit to eBay"), UploadQuestion(userNames)))
        return;

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    SiteClient site(m_context.siteUrl, m_context.appFolder);
    const SiteResult<UploadCheck> upload = UploadBlockList(site, userNames);
    QGuiApplication::restoreOverrideCursor();
    if (!upload || !upload->done()) {
        MessageBox::fail(this, (upload ? UploadNotKeptMessage(*upload) : upload.error().message) +
                                   QStringLiteral("\n\nYour local list is unchanged."));
        return;
    }
    MessageBox::tell(this, QString(), QStringLiteral("Added %1 to your eBay Blocked Bidders").arg(listText),
                     QMessageBox::NoIcon);
}

int BBMain::rowCount() const
{
    return m_ui->ListView1->topLevelItemCount();
}

QString BBMain::rowText(int row) const
{
    return cellText(row, 0);
}

QString BBMain::cellText(int row, int cell) const
{
    const QTreeWidgetItem *item = m_ui->ListView1->topLevelItem(row - 1);
    return item ? item->text(cell) : QString();
}

int BBMain::appendRow(const QString &text)
{
    m_ui->ListView1->addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
    return rowCount();
}

void BBMain::setCell(int row, int cell, const QString &text)
{
    if (QTreeWidgetItem *item = m_ui->ListView1->topLevelItem(row - 1))
        item->setText(cell, text);
}

int BBMain::selectedRow() const
{
    const QList<QTreeWidgetItem *> selected = m_ui->ListView1->selectedItems();
    return selected.isEmpty() ? 0 : m_ui->ListView1->indexOfTopLevelItem(selected.first()) + 1;
}

void BBMain::selectRow(int row)
{
    QTreeWidgetItem *item = m_ui->ListView1->topLevelItem(row - 1);
    m_ui->ListView1->setCurrentItem(item);
    if (item)
        item->setSelected(true);
}

void BBMain::removeRow(int row)
{
    delete m_ui->ListView1->takeTopLevelItem(row - 1);
}
