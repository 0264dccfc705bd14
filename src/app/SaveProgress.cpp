// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "app/SaveProgress.h"

#include "ui_SaveProgress.h"

SaveProgress::SaveProgress(SaveToSite &save, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::SaveProgress>()), m_save(save)
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    // "Stop"
    connect(m_ui->Command1, &QPushButton::clicked, this, &SaveProgress::reject);
    connect(&m_save, &SaveToSite::progress, this, &SaveProgress::showStep);
}

SaveProgress::~SaveProgress() = default;

void SaveProgress::showStep(SaveToSite::Step step, int done, int total)
{
    QString text;
    switch (step) {
    case SaveToSite::Step::ReadingSiteList:
        text = QStringLiteral("Reading the list the site holds now...");
        break;
    case SaveToSite::Step::CheckingKept:
        text = QStringLiteral("Checking the bidders you keep: %1 of %2").arg(done).arg(total);
        break;
    case SaveToSite::Step::ReadingAgain:
        text = QStringLiteral("Reading the site's list again, just before sending...");
        break;
    case SaveToSite::Step::Posting:
        text = QStringLiteral("Sending your list...");
        break;
    case SaveToSite::Step::ReadingBack:
        text = QStringLiteral("Reading your list back from the site...");
        break;
    }
    m_ui->Label1->setText(text);
    // A bar that counts only where there is something to count; otherwise it shows that work goes on.
    const bool counting = step == SaveToSite::Step::CheckingKept && total > 0;
    m_ui->ProgressBar1->setRange(0, counting ? total : 0);
    m_ui->ProgressBar1->setValue(counting ? done : 0);
}

void SaveProgress::reject()
{
    // A post is never cut off half-way: once sent, the save runs to the site's answer.
    if (!m_save.stop()) {
        m_ui->Label1->setText(QStringLiteral("Your list has been sent. Bidwarden is waiting for the site's answer "
                                             "and will then read your list back."));
        return;
    }
    QDialog::reject();
}
