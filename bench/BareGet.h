// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <curl/curl.h>
#include <set>
#include <string>
#include <vector>

// What a lookup costs without page files or parsing: one fresh handle, one GET, body discarded.
// The baseline the site-facing benchmarks compare against. With a share handle, the connection
// is kept between requests as the program's own client keeps it; without, each GET connects anew.
inline bool bareGet(const std::string &url, CURLSH *share = nullptr)
{
    auto discard = [](char *, size_t size, size_t count, void *) -> size_t { return size * count; };
    CURL *curl = curl_easy_init();
    curl_slist *headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, static_cast<size_t (*)(char *, size_t, size_t, void *)>(discard));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    if (share)
        curl_easy_setopt(curl, CURLOPT_SHARE, share);
    const bool ok = curl_easy_perform(curl) == CURLE_OK;
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return ok;
}

// A connection cache shared by bare GETs, for the like-for-like baseline.
inline CURLSH *bareShare()
{
    CURLSH *share = curl_share_init();
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    return share;
}

// The ids the site benchmarks look up: bidder0, bidder1, ..., every tenth of them NARU.
inline std::vector<std::string> sampleIds(int count, std::set<std::string> *naru)
{
    std::vector<std::string> ids;
    for (int i = 0; i < count; ++i) {
        ids.push_back("bidder" + std::to_string(i));
        if (i % 10 == 0)
            naru->insert(ids.back());
    }
    return ids;
}
