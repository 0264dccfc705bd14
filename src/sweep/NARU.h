#pragma once

#include <QDialog>
#include <memory>

class BBMain;
class QTimer;

namespace Ui {
class NARU;
}

// The NARU sweep: checks every user id of the main list on the site, in list order, and records
// each answer in the list and in the first stored row of that user name. It starts shortly after
// the window is on screen, reports once when done, and closes itself.
class NARU : public QDialog
{
    Q_OBJECT

public:
    explicit NARU(BBMain &main);
    ~NARU() override;

private:
    void Timer1_Timer();
    void sweep();

    const std::unique_ptr<Ui::NARU> m_ui;
    BBMain &m_main;
    QTimer *m_timer;
};
