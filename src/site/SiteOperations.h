// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

// The three site operations in one include: their addresses and forms, the reading of their
// pages, and the check of an upload against the list the site holds.
#include "site/SiteAddresses.h"
#include "site/SitePages.h"
#include "site/UploadCheck.h"
