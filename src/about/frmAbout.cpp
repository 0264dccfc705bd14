// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "frmAbout.h"

#include "ui_frmAbout.h"

#include <QDesktopServices>
#include <QUrl>

frmAbout::frmAbout(QWidget *parent) : QDialog(parent), m_ui(std::make_unique<Ui::frmAbout>())
{
    m_ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    m_ui->lblVersion->setText(versionLine(BIDWARDEN_VERSION_MAJOR, BIDWARDEN_VERSION_MINOR, BIDWARDEN_VERSION_PATCH));

    for (ClickableLabel *link : {m_ui->lblProduct, m_ui->lblURL, m_ui->lblCopyright})
        connect(link, &ClickableLabel::clicked, this, [this, link] { openTag(link); });
    // OK is both the default and the cancel button: Enter and Escape close the box like a click.
    connect(m_ui->cmdOK, &QPushButton::clicked, this, &QDialog::accept);
}

frmAbout::~frmAbout() = default;

QString frmAbout::versionLine(int major, int minor, int revision)
{
    return QStringLiteral("Version: %1.%2 Beta - Build %3").arg(major).arg(minor).arg(revision);
}

void frmAbout::openTag(const QObject *label)
{
    // Whether a browser opened is not reported: the box simply stays open.
    QDesktopServices::openUrl(QUrl(label->property("tag").toString()));
}
