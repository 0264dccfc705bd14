// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"

#include <QString>

// The site's failure as the windows show it: for a signed-out site, with the way to sign in
// through the setup wizard.
QString SiteFailureText(const SiteError &error);

// "Bidwarden could not check whether "id" is a registered user", then where the id stood
// (" (entry 2 of 3)", or nothing), what that meant (", so ...", or nothing), and why.
QString UncheckedMessage(const QString &userId, const QString &where, const QString &consequence,
                         const SiteError &error);
