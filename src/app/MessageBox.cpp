#include "MessageBox.h"

#include <QQueue>

const QString MessageBox::ApplicationTitle = QStringLiteral("Wardenkeep");
const QString MessageBox::ErrorTitle = QStringLiteral("Bidwarden");

namespace {
QQueue<QMessageBox::StandardButton> g_nextAnswers;
QList<MessageBox::Shown> g_shown;
} // namespace

bool MessageBox::ask(QWidget *parent, const QString &title, const QString &text)
{
    return show(parent, title, text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

void MessageBox::tell(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon)
{
    show(parent, title, text, icon, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::fail(QWidget *parent, const QString &text)
{
    tell(parent, ErrorTitle, text, QMessageBox::Warning);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer)
{
    g_nextAnswers.enqueue(answer);
}

QList<MessageBox::Shown> MessageBox::takeShown()
{
    return std::exchange(g_shown, {});
}

QMessageBox::StandardButton MessageBox::show(QWidget *parent, const QString &title, const QString &text,
                                             QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                             QMessageBox::StandardButton defaultButton)
{
    const QString shownTitle = title.isEmpty() ? ApplicationTitle : title;
    g_shown.append({shownTitle, text, icon, buttons});
    if (!g_nextAnswers.isEmpty())
        return g_nextAnswers.dequeue();

    QMessageBox box(icon, shownTitle, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
