// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "ui/Appearance.h"

#include "ui/ClickableLabel.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

// A window made from a plain QWidget (the main window) would reach a screen reader as a "filler"
// pane; it is announced as the application's window instead.
static QAccessibleInterface *plainWindowAsFrame(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (widget && widget->isWindow() && className == QLatin1String("QWidget"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

void ApplyAppearance()
{
    initResources();
    QAccessible::installFactory(plainWindowAsFrame);
    QAccessible::installFactory(ClickableLabel::accessibleLink);

    // The layouts were drawn for Tahoma's metrics. Where the system has no Tahoma, Wine's
    // metric-compatible copy is used if it is installed; otherwise the system sans serif.
    if (!QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
        for (const char *file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.25);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);

    QIcon icon;
    for (int size : {16, 32, 48, 256})
        icon.addFile(QStringLiteral(":/images/bidwarden-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);
}

void MakeWhite(std::initializer_list<QPushButton *> buttons)
{
    for (QPushButton *button : buttons) {
        QPalette palette = button->palette();
        palette.setColor(QPalette::Button, Qt::white);
        button->setPalette(palette);
    }
}

void NameBoxesByTheirLabels(const QWidget *window)
{
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        QWidget *box = label->buddy();
        if (!box || !box->accessibleName().isEmpty())
            continue;
        const QString text = label->text();
        QString name;
        for (int i = 0; i < text.size(); ++i) {
            if (text.at(i) != QLatin1Char('&'))
                name += text.at(i);
            else if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&'))
                name += text.at(++i);
        }
        name = name.trimmed();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        box->setAccessibleName(name.trimmed());
    }
}
