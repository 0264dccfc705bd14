#include "sweep/NARU.h"

#include "app/MessageBox.h"
#include "core/BidderList.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "ui_NARU.h"

#include <QTimer>

NARU::NARU(BidderList &list, AppContext context, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::NARU>()), m_list(list), m_context(std::move(context)),
      m_timer(new QTimer(this))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    // An empty list still gets a valid range; the bar then simply stays at its start.
    m_ui->ProgressBar1->setRange(0, qMax(1, m_list.count()));
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
    SiteClient site(m_context.siteUrl, m_context.appFolder);
    const BidderList::Session session(m_list);
    for (int row = 0; row < m_list.count(); ++row) {
        const QString userName = m_list.at(row).userName;
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
        m_ui->ProgressBar1->setValue(row + 1);
        if (Status saved = m_list.setNaru(row, *naru); !saved) {
            MessageBox::fail(this, saved.error());
            return;
        }
    }
    MessageBox::tell(this, QStringLiteral("Bidwarden Management"), QStringLiteral("All usernames checked."),
                     QMessageBox::Information);
}
