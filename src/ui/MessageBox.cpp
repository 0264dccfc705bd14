// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "ui/MessageBox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QQueue>
#include <QStyle>
#include <QVBoxLayout>

const QString MessageBox::ApplicationTitle = QStringLiteral("Wardenkeep");
const QString MessageBox::ErrorTitle = QStringLiteral("Bidwarden");

namespace {
Q_LOGGING_CATEGORY(failures, "bidwarden.failure")
QQueue<QMessageBox::StandardButton> g_nextAnswers;
QList<MessageBox::Shown> g_shown;
// Beyond this length a message box grows taller than any screen (a question naming thousands of
// bidders), so the text goes into a scrolling box of its own instead; the words stay the same.
constexpr qsizetype kLongText = 1500;

using Captions = QList<std::pair<QMessageBox::StandardButton, QString>>;

// The answer Escape and the window's close button give.
QMessageBox::StandardButton escapeAnswer(QMessageBox::StandardButtons buttons)
{
    for (QMessageBox::StandardButton button : {QMessageBox::Cancel, QMessageBox::No})
        if (buttons.testFlag(button))
            return button;
    return QMessageBox::Ok;
}

QMessageBox::StandardButton showLong(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon,
                                     QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                     const Captions &captions)
{
    QDialog dialog(parent);
    dialog.setWindowTitle(title);
    auto *layout = new QVBoxLayout(&dialog);
    auto *row = new QHBoxLayout;
    const QStyle::StandardPixmap pixmaps[] = {QStyle::SP_CustomBase, QStyle::SP_MessageBoxInformation,
                                              QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical,
                                              QStyle::SP_MessageBoxQuestion};
    if (icon != QMessageBox::NoIcon) {
        auto *iconLabel = new QLabel;
        const int size = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
        iconLabel->setPixmap(dialog.style()->standardIcon(pixmaps[icon]).pixmap(size, size));
        iconLabel->setAlignment(Qt::AlignTop);
        row->addWidget(iconLabel);
    }
    auto *textBox = new QPlainTextEdit(text);
    textBox->setObjectName(QStringLiteral("qt_msgbox_label"));
    textBox->setReadOnly(true);
    textBox->setMinimumSize(420, 240);
    row->addWidget(textBox);
    layout->addLayout(row);
    auto *box = new QDialogButtonBox(QDialogButtonBox::StandardButtons(int(buttons)));
    for (const auto &[button, caption] : captions)
        if (QPushButton *shown = box->button(QDialogButtonBox::StandardButton(int(button))))
            shown->setText(caption);
    layout->addWidget(box);
    QMessageBox::StandardButton answer = escapeAnswer(buttons);
    QObject::connect(box, &QDialogButtonBox::clicked, &dialog, [&](QAbstractButton *button) {
        answer = static_cast<QMessageBox::StandardButton>(int(box->standardButton(button)));
        dialog.accept();
    });
    if (QPushButton *preferred = box->button(QDialogButtonBox::StandardButton(int(defaultButton)))) {
        preferred->setDefault(true);
        preferred->setFocus();
    }
    dialog.exec();
    return answer;
}

} // namespace

bool MessageBox::ask(QWidget *parent, const QString &title, const QString &text)
{
    return show(parent, title, text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) ==
           QMessageBox::Yes;
}

QMessageBox::StandardButton MessageBox::choose(QWidget *parent, const QString &title, const QString &text,
                                               const QString &yesCaption, const QString &noCaption)
{
    return show(parent, title, text, QMessageBox::Question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                QMessageBox::Yes, {{QMessageBox::Yes, yesCaption}, {QMessageBox::No, noCaption}});
}

void MessageBox::tell(QWidget *parent, const QString &title, const QString &text, QMessageBox::Icon icon)
{
    show(parent, title, text, icon, QMessageBox::Ok, QMessageBox::Ok);
}

void MessageBox::fail(QWidget *parent, const QString &text)
{
    // Also for whoever started the program from a terminal, or reads the desktop's log.
    qCWarning(failures).noquote() << text;
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
                                             QMessageBox::StandardButton defaultButton, const Captions &captions)
{
    const QString shownTitle = title.isEmpty() ? ApplicationTitle : title;
    g_shown.append({shownTitle, text, icon, buttons});
    if (!g_nextAnswers.isEmpty())
        return g_nextAnswers.dequeue();

    if (text.size() > kLongText)
        return showLong(parent, shownTitle, text, icon, buttons, defaultButton, captions);
    QMessageBox box(icon, shownTitle, text, buttons, parent);
    // The text may quote the site, the store or a file: never read as markup, which could name an
    // image to be loaded.
    box.setTextFormat(Qt::PlainText);
    for (const auto &[button, caption] : captions)
        box.button(button)->setText(caption);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(escapeAnswer(buttons));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}
