#include "dialogs/BBidder.h"

#include "app/Appearance.h"
#include "app/MessageBox.h"
#include "core/BidderList.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "store/DateTimeText.h"
#include "ui_BBidder.h"

#include <QGuiApplication>

BBidder::BBidder(BidderList &list, AppContext context, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::BBidder>()), m_list(list), m_context(std::move(context))
{
    m_ui->setupUi(this);
    MakeWhite({m_ui->Save, m_ui->Cancel});
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // "Save"
    connect(m_ui->Save, &QPushButton::clicked, this, &BBidder::Save_Click);
    // "Cancel"
    connect(m_ui->Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

BBidder::~BBidder() = default;

void BBidder::Save_Click()
{
    const QString userName = m_ui->UserName->text();

    // Should anything fail, nothing is stored or listed, and the dialog stays open with what was
    // typed so that the user can try again or cancel.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    SiteClient site(m_context.siteUrl, m_context.appFolder);
    const SiteResult<bool> naru = IsNaru(site, userName);
    QGuiApplication::restoreOverrideCursor();
    if (!naru) {
        MessageBox::fail(this, QStringLiteral("Bidwarden could not check whether \"%1\" is a registered user.\n\n%2")
                                   .arg(userName, naru.error().message));
        return;
    }
    if (Status added = m_list.add(Bidder{userName, NaruValue(*naru), DateTimeText(), m_ui->Reason->text()}); !added) {
        MessageBox::fail(this, added.error());
        return;
    }
    accept();
}
