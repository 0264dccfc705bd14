// SPDX-License-Identifier: MIT
#include "Appearance.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QPushButton>

static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

void ApplyAppearance()
{
    initResources();

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
