#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <functional>

// Runs `act` on the next modal window once it is up (polling, as the modal loop of the code
// under test owns the event loop meanwhile). Never assert inside `act`: copy out what is needed
// and check it after the call that opened the window has returned.
inline void whenModal(std::function<void(QWidget *)> act, int timeoutMs = 10000)
{
    auto *timer = new QTimer;
    auto *clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, clock, act = std::move(act), timeoutMs] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && clock->elapsed() < timeoutMs)
            return;
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (modal)
            act(modal);
    });
    timer->start();
}

// Records the value a progress bar showed each time it was painted.
class PaintRecorder : public QObject
{
public:
    QList<int> values;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            values << static_cast<QProgressBar *>(watched)->value();
        return false;
    }
};
