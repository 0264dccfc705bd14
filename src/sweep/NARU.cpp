#include "NARU.h"

#include "app/BBMain.h"
#include "app/MessageBox.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "store/BidderStore.h"
#include "ui_NARU.h"

#include <QTimer>

NARU::NARU(BBMain &main) : QDialog(&main), m_ui(std::make_unique<Ui::NARU>()), m_main(main), m_timer(new QTimer(this))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    // An empty list still gets a valid range; the bar then simply stays at its start.
    m_ui->ProgressBar1->setRange(0, qMax(1, m_main.rowCount()));
    m_ui->ProgressBar1->setValue(0);

    // The sweep blocks the event loop, so it starts only once the window has had time to show.
    m_timer->setInterval(500);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &NARU::Timer1_Timer);
    m_timer->start();
}

NARU::~NARU() = default;

void NARU::Timer1_Timer()
{
    m_timer->stop();
    sweep();
    close();
}

void NARU::sweep()
{
    SiteClient site(m_main.context().siteUrl, m_main.context().appFolder);
    BidderStore store(m_main.storePath());
    const int rows = m_main.rowCount();
    for (int row = 1; row <= rows; ++row) {
        const QString userName = m_main.rowText(row);
        const SiteResult<bool> naru = IsNaru(site, userName);
        if (!naru) {
            // Rows done so far keep their new values; the rest keep what they had.
            MessageBox::fail(this, QStringLiteral("Bidwarden could not check whether \"%1\" is a registered user, "
                                                  "so the check stopped there.\n\n%2")
                                       .arg(userName, naru.error().message));
            return;
        }
        // setValue repaints the bar at once whenever its look changes, so it advances on screen
        // although the sweep does not return to the event loop.
        m_ui->ProgressBar1->setValue(row);

        // The store is written before the list, so that a failing store never leaves the list
        // showing a value that was not saved. A row whose bidder is no longer stored (deleted as
        // a duplicate) still gets its new value in the list, and the sweep goes on.
        const QString value = *naru ? QStringLiteral("Yes") : QStringLiteral("No");
        bool matched = false;
        if (!store.setNaruOfFirst(userName, value, &matched)) {
            MessageBox::fail(this, store.lastError());
            return;
        }
        m_main.setCell(row, 1, value);
    }
    MessageBox::tell(this, QStringLiteral("Bidwarden Management"), QStringLiteral("All usernames checked."),
                     QMessageBox::Information);
}
