// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "wizard/WizardWindow.h"

#include <memory>

namespace Ui {
class Setup1;
}

// The first setup step: asks the seller to sign in to the site's bidder-block page in the
// browser (the program's own requests rely on that sign-in) and offers the link to it.
class Setup1 : public WizardWindow
{
    Q_OBJECT

public:
    explicit Setup1(WindowFlow &flow);
    ~Setup1() override;

    // The page the link opens and shows.
    static QString signInAddress(const QString &siteUrl);

private:
    void Label2_Click();
    void Next_Click();

    const std::unique_ptr<Ui::Setup1> m_ui;
};
