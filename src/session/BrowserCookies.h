// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "session/CookieJar.h"

// The name the site client and the windows still use for the session they are handed.
using BrowserCookies = CookieJar;
