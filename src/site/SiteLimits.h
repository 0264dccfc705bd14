// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

// The most bidders the site keeps in a seller's list; it drops the rest of a longer upload.
constexpr int kSiteListLimit = 5000;
