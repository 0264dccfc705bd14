// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "session/BrowserLocations.h"

#include <QDir>
#include <QStandardPaths>

QList<BrowserLocation> BrowserLocations()
{
    using Kind = BrowserLocation::Kind;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString home = QDir::homePath();
    const QString flatpak = home + QStringLiteral("/.var/app/");
    // Edge and Vivaldi file their secret under the name of the Chromium or Chrome build they start from.
    return {
        {Kind::Firefox,
         QStringLiteral("Firefox"),
         {},
         {config + QStringLiteral("/mozilla/firefox"), home + QStringLiteral("/.mozilla/firefox"),
          home + QStringLiteral("/snap/firefox/common/.mozilla/firefox"),
          flatpak + QStringLiteral("org.mozilla.firefox/.mozilla/firefox")}},
        {Kind::Chromium,
         QStringLiteral("Google Chrome"),
         QStringLiteral("chrome"),
         {config + QStringLiteral("/google-chrome"),
          flatpak + QStringLiteral("com.google.Chrome/config/google-chrome")}},
        {Kind::Chromium,
         QStringLiteral("Google Chrome Beta"),
         QStringLiteral("chrome"),
         {config + QStringLiteral("/google-chrome-beta")}},
        {Kind::Chromium,
         QStringLiteral("Chromium"),
         QStringLiteral("chromium"),
         {config + QStringLiteral("/chromium"), home + QStringLiteral("/snap/chromium/common/chromium"),
          flatpak + QStringLiteral("org.chromium.Chromium/config/chromium")}},
        {Kind::Chromium,
         QStringLiteral("Brave"),
         QStringLiteral("brave"),
         {config + QStringLiteral("/BraveSoftware/Brave-Browser"),
          flatpak + QStringLiteral("com.brave.Browser/config/BraveSoftware/Brave-Browser")}},
        {Kind::Chromium,
         QStringLiteral("Microsoft Edge"),
         QStringLiteral("chromium"),
         {config + QStringLiteral("/microsoft-edge"),
          flatpak + QStringLiteral("com.microsoft.Edge/config/microsoft-edge")}},
        {Kind::Chromium,
         QStringLiteral("Vivaldi"),
         QStringLiteral("chrome"),
         {config + QStringLiteral("/vivaldi"), flatpak + QStringLiteral("com.vivaldi.Vivaldi/config/vivaldi")}},
    };
}
