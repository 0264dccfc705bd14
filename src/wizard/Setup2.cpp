#include "wizard/Setup2.h"

#include "app/MessageBox.h"
#include "app/WindowFlow.h"
#include "core/BidderList.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "store/AppFilePath.h"
#include "store/DateTimeText.h"
#include "store/StoreBackup.h"
#include "ui_Setup2.h"
#include "wizard/Setup1.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

const QString Setup2::ImportReason = QStringLiteral("Auto Added by Wizard");

namespace {

const QString kBlockPage = QStringLiteral("response.htm");

// The date-and-time text for the rows of one import. It shows whole seconds, so the system clock
// (the costliest part of a row) is read again only once a new second may have begun.
class RowClock
{
public:
    QString text()
    {
        if (!m_sinceRead.isValid() || m_sinceRead.elapsed() >= m_msecsLeft) {
            const QDateTime now = QDateTime::currentDateTime();
            m_sinceRead.start();
            m_text = DateTimeText(now);
            m_msecsLeft = 1000 - now.time().msec();
        }
        return m_text;
    }

private:
    QElapsedTimer m_sinceRead;
    qint64 m_msecsLeft = 0;
    QString m_text;
};

} // namespace

Setup2::Setup2(WindowFlow &flow) : WizardWindow(flow), m_ui(std::make_unique<Ui::Setup2>())
{
    m_ui->setupUi(this);
    // Download comes first in the focus order; QDialog would otherwise start on its default button.
    m_ui->Command1->setFocus();
    connect(m_ui->Command1, &QPushButton::clicked, this, &Setup2::Command1_Click);
    connect(m_ui->Back, &QPushButton::clicked, this, &Setup2::Back_Click);
    connect(m_ui->Next, &QPushButton::clicked, this, &Setup2::Next_Click);
    connect(m_ui->Exit, &QPushButton::clicked, this, &Setup2::reject);
}

Setup2::~Setup2() = default;

void Setup2::Command1_Click()
{
    // The import does not return to the event loop, so clicks made meanwhile wait in the queue.
    // They are let through while the buttons are still off and the window busy, so that an
    // impatient second click does not run the whole import again, nor Escape end the program.
    const QList<QPushButton *> buttons = {m_ui->Command1, m_ui->Back, m_ui->Next, m_ui->Exit};
    for (QPushButton *button : buttons)
        button->setEnabled(false);
    setBusy(true);
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QString failure = importSiteList();
    QCoreApplication::processEvents();
    setBusy(false);
    for (QPushButton *button : buttons)
        button->setEnabled(true);
    // The page is only needed while the list is read from it.
    QFile page(AppFilePath(context().appFolder, kBlockPage));
    if (page.exists() && !page.remove() && failure.isEmpty())
        failure = QStringLiteral("Your list was imported, but Bidwarden could not delete %1: %2.")
                      .arg(page.fileName(), page.errorString());
    QGuiApplication::restoreOverrideCursor();
    if (!failure.isEmpty())
        MessageBox::fail(this, failure);
}

QString Setup2::importSiteList()
{
    // A store that cannot be used is better told before the site is asked about every id.
    BidderList &list = flow().list();
    const BidderList::Session session(list);
    if (Status usable = list.check(); !usable)
        return usable.error();

    // The whole list is fetched and read before anything is changed, so that a failed request or
    // a sign-in page never costs the seller the list they have.
    SiteClient site(context().siteUrl, context().appFolder);
    const SiteResult<QStringList> siteList = DownloadBlockedList(site);
    if (!siteList && siteList.error().kind == SiteError::Kind::Failed)
        return QStringLiteral("Bidwarden could not download your blocked bidder list, so nothing was changed.\n\n%1")
            .arg(siteList.error().message);
    if (!siteList)
        return QStringLiteral("The site did not show a blocked bidder list, so nothing was changed.\n\n%1")
            .arg(siteList.error().message);

    QListWidget *lines = m_ui->List1;
    QProgressBar *bar = m_ui->ProgressBar1;
    QStringList linesBefore;
    for (int i = 0; i < lines->count(); ++i)
        linesBefore << lines->item(i)->text();
    const int maximumBefore = bar->maximum(), valueBefore = bar->value();
    auto restoreWindow = [&] {
        lines->clear();
        lines->addItems(linesBefore);
        bar->setRange(0, maximumBefore);
        bar->setValue(valueBefore);
    };

    const QStringList &entries = *siteList;
    const int count = int(entries.size());
    lines->clear();
    // The bar stands at k while entry k is checked and is full at the last one; one entry or none
    // would give an empty range, which a QProgressBar shows as "busy" instead.
    bar->setRange(0, qMax(1, count - 1));
    bar->setValue(0);
    // A step smaller than a pixel does not show; moving the bar only when it shows saves time.
    const int stride = qMax(1, bar->maximum() / qMax(1, bar->width()));
    RowClock clock;

    QList<Bidder> rows;
    rows.reserve(count);
    for (int k = 0; k < count; ++k) {
        // setValue repaints at once whenever the bar's look changes, so it advances on screen
        // although the import does not return to the event loop.
        if (k == count - 1)
            bar->setValue(bar->maximum());
        else if (k % stride == 0)
            bar->setValue(k);

        const QString &entry = entries.at(k);
        const SiteResult<bool> naru = IsNaru(site, entry);
        if (!naru) {
            restoreWindow();
            return QStringLiteral("Bidwarden could not check whether \"%1\" (entry %2 of %3) is a registered "
                                  "user, so the import stopped and your list was left as it was.\n\n%4")
                .arg(entry, QString::number(k + 1), QString::number(count), naru.error().message);
        }
        lines->addItem(*naru ? entry + QStringLiteral(" (NARU)") : entry);
        rows.append(Bidder{entry, NaruValue(*naru), clock.text(), ImportReason});
    }

    // The list about to be replaced is kept first, so that an import can be undone; without a
    // copy, nothing is replaced.
    if (const StoreBackupResult backup = BackUpStore(list.storePath()); !backup.ok()) {
        restoreWindow();
        return backup.message + QStringLiteral("\n\nSo nothing was imported, and your list was left as it was.");
    }
    // The old rows go and the new ones come in one transaction: all of it, or nothing.
    if (Status replaced = list.replaceAll(rows); !replaced) {
        restoreWindow();
        return replaced.error();
    }
    return {};
}

void Setup2::Back_Click()
{
    replaceWith(new Setup1(flow()));
}

void Setup2::Next_Click()
{
    // The fresh main window reads the store again, and asks to run the wizard when it is empty;
    // on Yes it has already opened step 1 and gives no window back.
    flow().showMain();
    replaceWith(nullptr);
}
