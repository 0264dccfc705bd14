#include "BBidder.h"

#include "app/Appearance.h"
#include "app/BBMain.h"
#include "app/MessageBox.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "store/BidderStore.h"
#include "store/DateTimeText.h"
#include "ui_BBidder.h"

#include <QGuiApplication>

BBidder::BBidder(BBMain &main) : QDialog(&main), m_ui(std::make_unique<Ui::BBidder>()), m_main(main)
{
    m_ui->setupUi(this);
    MakeWhite({m_ui->Save, m_ui->Cancel});
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(m_ui->Save, &QPushButton::clicked, this, &BBidder::Save_Click);
    connect(m_ui->Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

BBidder::~BBidder() = default;

void BBidder::Save_Click()
{
    const QString userName = m_ui->UserName->text();
    const QString reason = m_ui->Reason->text();
    const int row = m_main.appendRow(userName);

    // Should anything fail, the new row goes again, nothing is stored, and the dialog stays
    // open with what was typed so that the user can try again or cancel.
    auto abandon = [&](const QString &why) {
        m_main.removeRow(row);
        MessageBox::fail(this, why);
    };

    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    SiteClient site(m_main.context().siteUrl, m_main.context().appFolder);
    const SiteResult<bool> naru = IsNaru(site, userName);
    QGuiApplication::restoreOverrideCursor();
    if (!naru) {
        abandon(QStringLiteral("Bidwarden could not check whether \"%1\" is a registered user.\n\n%2")
                    .arg(userName, naru.error().message));
        return;
    }
    m_main.setCell(row, 1, *naru ? QStringLiteral("Yes") : QStringLiteral("No"));

    const Bidder record{userName, m_main.cellText(row, 1), DateTimeText(), reason};
    BidderStore store(m_main.storePath());
    if (!store.add(record)) {
        abandon(store.lastError());
        return;
    }
    m_main.setCell(row, 2, record.dateTime);
    m_main.setCell(row, 3, record.reason);
    accept();
}
