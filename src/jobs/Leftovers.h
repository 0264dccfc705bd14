// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// What an earlier run that was killed may have left: copies of browser cookie stores in the private
// runtime folder, and half-written page files in the data folder. Called once at start, after the
// program knows it is the only one running, so nothing another instance still uses goes.
void RemoveLeftovers(const QString &appFolder);
