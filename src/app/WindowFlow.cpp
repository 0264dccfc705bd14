// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "app/WindowFlow.h"

#include "app/BBMain.h"
#include "store/AppFilePath.h"
#include "wizard/Setup1.h"

WindowFlow::WindowFlow(AppContext context)
    : m_context(std::move(context)),
      m_list(AppFilePath(m_context.appFolder, QString::fromLatin1(BidderStore::FileName)))
{}

WindowFlow::~WindowFlow() = default;

BBMain *WindowFlow::showMain()
{
    auto *window = new BBMain(*this);
    if (!window->Form_Load()) {
        delete window;
        return nullptr;
    }
    window->show();
    return window;
}

void WindowFlow::showWizard()
{
    (new Setup1(*this))->show();
}
