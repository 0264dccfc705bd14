#pragma once

#include "app/AppContext.h"

#include <QDialog>
#include <memory>

class BidderList;
class QTimer;

namespace Ui {
class NARU;
}

// The NARU sweep: checks every user id of the list on the site, in list order, and records each
// answer in the list and in the first stored row of that user name. It starts shortly after the
// window is on screen, reports once when done, and closes itself.
class NARU : public QDialog
{
    Q_OBJECT

public:
    NARU(BidderList &list, AppContext context, QWidget *parent);
    ~NARU() override;

private:
    void Timer1_Timer();
    void sweep();

    const std::unique_ptr<Ui::NARU> m_ui;
    BidderList &m_list;
    const AppContext m_context;
    QTimer *m_timer;
};
