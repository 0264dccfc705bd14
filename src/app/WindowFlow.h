// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "core/BidderList.h"
#include "ui/AppContext.h"

class BBMain;

// Hands the program between its two top-level roles: the main window, and the setup wizard that
// replaces it. It owns the bidder list both of them work on, for the whole run.
class WindowFlow
{
public:
    explicit WindowFlow(AppContext context);
    ~WindowFlow();
    WindowFlow(const WindowFlow &) = delete;
    WindowFlow &operator=(const WindowFlow &) = delete;

    const AppContext &context() const { return m_context; }
    BidderList &list() { return m_list; }

    // A fresh main window, loaded from the store and shown. When its load hands over to the
    // wizard instead (an empty store, and the user chose to run it), there is none: nullptr.
    BBMain *showMain();
    // The wizard's first step. The caller closes the window it replaces after this call, so that
    // the program never runs out of windows and quits.
    void showWizard();

private:
    const AppContext m_context;
    BidderList m_list;
};
