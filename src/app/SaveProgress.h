// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "jobs/SaveToSite.h"

#include <QDialog>
#include <memory>

namespace Ui {
class SaveProgress;
}

// Where a save to the site is: the step, and during the lookups of the ids kept, how many are
// done. Escape, its close button and Stop end the save silently until the post is sent; from then
// on they only say that the post is under way, and the window stays until the site's answer is in.
// Enter does nothing: Stop is no default button.
class SaveProgress : public QDialog
{
    Q_OBJECT

public:
    SaveProgress(SaveToSite &save, QWidget *parent);
    ~SaveProgress() override;

    void showStep(SaveToSite::Step step, int done, int total);
    void reject() override;

private:
    const std::unique_ptr<Ui::SaveProgress> m_ui;
    SaveToSite &m_save;
};
