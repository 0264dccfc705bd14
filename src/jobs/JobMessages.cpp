// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "jobs/JobMessages.h"

namespace {

const QString kWizardSignIn = QStringLiteral("step 1 of the setup wizard");

} // namespace

QString SiteFailureText(const SiteError &error)
{
    if (!error.signInMayHelp)
        return error.message;
    return error.message +
           QStringLiteral("\n\nThe sign-in link in %1 opens the site's sign-in page.").arg(kWizardSignIn);
}

QString UncheckedMessage(const QString &userId, const QString &where, const QString &consequence,
                         const SiteError &error)
{
    return QStringLiteral("Bidwarden could not check whether \"%1\"%2 is a registered user%3.\n\n%4")
        .arg(userId, where, consequence, SiteFailureText(error));
}
