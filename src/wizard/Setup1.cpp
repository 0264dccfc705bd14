// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "wizard/Setup1.h"

#include "ui_Setup1.h"
#include "wizard/Setup2.h"

#include <QDesktopServices>
#include <QUrl>

Setup1::Setup1(WindowFlow &flow) : WizardWindow(flow), m_ui(std::make_unique<Ui::Setup1>())
{
    m_ui->setupUi(this);
    m_ui->Label2->setText(signInAddress(this->context().siteUrl));
    connect(m_ui->Label2, &ClickableLabel::clicked, this, &Setup1::Label2_Click);
    connect(m_ui->Next, &QPushButton::clicked, this, &Setup1::Next_Click);
    connect(m_ui->Exit, &QPushButton::clicked, this, &Setup1::reject);
}

Setup1::~Setup1() = default;

QString Setup1::signInAddress(const QString &siteUrl)
{
    return siteUrl + QStringLiteral("/aw-cgi/eBayISAPI.dll?bidderblocklogin");
}

void Setup1::Label2_Click()
{
    // Whether a browser came up is not ours to know; the wizard stays as it is either way.
    QDesktopServices::openUrl(QUrl(m_ui->Label2->text()));
}

void Setup1::Next_Click()
{
    replaceWith(new Setup2(flow()));
}
