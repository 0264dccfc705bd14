#include "BlockedBidder.h"

#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"
#include "store/BidderStore.h"
#include "ui_BlockedBidder.h"

namespace {

QString noRecordMessage(const QString &userName)
{
    return QStringLiteral("Bidwarden has no stored record for \"%1\". The list may be out of date: click a "
                          "column heading to read it again.")
        .arg(userName);
}

} // namespace

BlockedBidder::BlockedBidder(BBMain &main) : QDialog(&main), m_ui(std::make_unique<Ui::BlockedBidder>()), m_main(main)
{
    m_ui->setupUi(this);
    MakeWhite({m_ui->Command1, m_ui->Command2});
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(m_ui->Command1, &QPushButton::clicked, this, &BlockedBidder::Command1_Click);
    connect(m_ui->Command2, &QPushButton::clicked, this, &QDialog::reject);
}

BlockedBidder::~BlockedBidder() = default;

QString BlockedBidder::lookupId(const QString &rowText)
{
    static const QString marker = QStringLiteral(" [NARU]");
    return rowText.endsWith(marker) ? rowText.chopped(marker.size()) : rowText;
}

bool BlockedBidder::Form_Load()
{
    const int row = m_main.selectedRow();
    if (row == 0)
        return false;
    const QString userName = lookupId(m_main.rowText(row));

    BidderStore store(m_main.storePath());
    const auto found = store.findFirst(userName);
    if (!found) {
        MessageBox::fail(&m_main, store.lastError());
        return false;
    }
    if (!*found) {
        MessageBox::fail(&m_main, noRecordMessage(userName));
        return false;
    }
    const Bidder &bidder = **found;
    m_ui->UserName->setText(bidder.userName);
    m_ui->DateTime->setText(bidder.dateTime);
    m_ui->Reason->setText(bidder.reason);
    m_ui->NARU->setText(bidder.naru);
    if (bidder.naru == QLatin1String("Yes")) {
        QPalette palette = m_ui->NARU->palette();
        palette.setColor(QPalette::Text, QColor(255, 0, 0));
        m_ui->NARU->setPalette(palette);
    }
    // Long texts show from their start, not scrolled to the end.
    for (QLineEdit *box : {m_ui->UserName, m_ui->NARU, m_ui->DateTime, m_ui->Reason})
        box->setCursorPosition(0);
    m_ui->Command1->setFocus();
    return true;
}

void BlockedBidder::Command1_Click()
{
    const int row = m_main.selectedRow();
    if (row == 0)
        return;
    const QString userName = lookupId(m_main.rowText(row));
    const QString dateTime = m_ui->DateTime->text();
    const QString reason = m_ui->Reason->text();

    // On any failure the dialog stays open with the user's edits, and nothing is changed.
    BidderStore store(m_main.storePath());
    bool matched = false;
    if (!store.updateFirst(userName, dateTime, reason, &matched)) {
        MessageBox::fail(this, store.lastError());
        return;
    }
    if (!matched) {
        MessageBox::fail(this, noRecordMessage(userName));
        return;
    }
    m_main.setCell(row, 2, dateTime);
    m_main.setCell(row, 3, reason);
    accept();
}
