// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Where each browser the program reads keeps its profiles on Linux, under the current user's home.
struct BrowserLocation
{
    enum class Kind
    {
        Firefox,  // roots hold profiles.ini
        Chromium, // roots hold "Local State"
    };
    Kind kind;
    QString name;               // for the problems the readers report
    QString keyringApplication; // Chromium family: the "application" attribute of its Safe Storage secret
    QStringList roots;          // the usual folder, then snap and flatpak ones
};

// Firefox first, then the Chromium family.
QList<BrowserLocation> BrowserLocations();
