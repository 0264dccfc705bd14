// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <utility>

class QWidget;

// Every question and notice of the program goes through here, so that the titles, icons and
// buttons stay consistent and tests can answer them without a real modal box.
class MessageBox
{
public:
    // The title a message box carries when its caller gives none.
    static const QString ApplicationTitle;
    // The title of every failure report.
    static const QString ErrorTitle;

    // A question with Yes and No; true only for Yes.
    static bool ask(QWidget *parent, const QString &title, const QString &text);
    // A question with three answers: Yes and No under the captions given, and Cancel, which Escape
    // answers. Yes is the default button.
    static QMessageBox::StandardButton choose(QWidget *parent, const QString &title, const QString &text,
                                              const QString &yesCaption, const QString &noCaption);
    // A notice with an OK button only. An empty title shows the application title.
    static void tell(QWidget *parent, const QString &title, const QString &text,
                     QMessageBox::Icon icon = QMessageBox::Information);
    // Reports a failed operation under the title "Bidwarden".
    static void fail(QWidget *parent, const QString &text);

    // Test hooks: queued answers are used, in order, instead of showing a box; what each call
    // asked or told is recorded, whether it was shown or answered from the queue.
    struct Shown
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static QList<Shown> takeShown();

private:
    static QMessageBox::StandardButton
    show(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon,
         QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
         const QList<std::pair<QMessageBox::StandardButton, QString>> &captions = {});
};
