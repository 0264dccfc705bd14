// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "StandinSite.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <httplib.h>
#include <mutex>
#include <thread>

namespace {

const std::string cgiPath = "/aw-cgi/eBayISAPI.dll";

bool equalsIgnoringCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool startsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The raw value of one field of a query or form text ("a=1&b=2"), or nothing.
bool fieldValue(const std::string &form, const std::string &name, std::string *value)
{
    size_t pos = 0;
    while (pos <= form.size()) {
        const size_t end = std::min(form.find('&', pos), form.size());
        const std::string part = form.substr(pos, end - pos);
        if (startsWith(part, name + "=")) {
            *value = part.substr(name.size() + 1);
            return true;
        }
        pos = end + 1;
    }
    return false;
}

// A field of a form body, decoded as a form is ("+" is a blank); "" when it is missing.
std::string formField(const std::string &form, const std::string &name)
{
    std::string raw;
    if (!fieldValue(form, name, &raw))
        return {};
    std::replace(raw.begin(), raw.end(), '+', ' ');
    return StandinSite::percentDecode(raw);
}

std::string joinIds(const std::vector<std::string> &ids)
{
    std::string text;
    for (size_t i = 0; i < ids.size(); ++i)
        text += (i ? ", " : "") + ids[i];
    return text;
}

std::string signInPage()
{
    return "<html>\r\n<head><title>Sign In</title></head>\r\n<body>\r\n"
           "<h1>Sign in</h1>\r\n<p>Please sign in to continue.</p>\r\n"
           "<form method=post action=\"/signin\"><input name=userid><input type=password name=pass>"
           "<input type=submit value=\"Sign in\"></form>\r\n</body>\r\n</html>\r\n";
}

// The token as the page writes it, escaped; both have characters that a form must encode.
const char *const pageSrt = "a&amp;b c";

std::string blockPage(const std::vector<std::string> &list, bool tokens)
{
    // The name attribute comes last in the tag: the list starts one character after the name.
    return "<html>\r\n<head><title>Bidder Blocking</title></head>\r\n<body>\r\n"
           "<h1>Block bidders</h1>\r\n"
           "<form method=post action=\"/aw-cgi/eBayISAPI.dll\">\r\n"
           "<input type=hidden name=MfcISAPICommand value=BidderBlockResult>\r\n"
           "User ID <input name=userid> Password <input type=password name=pass>\r\n"
           "<textarea cols=60 rows=10 wrap=virtual name=bidderlist>" +
           joinIds(list) + "</textarea>\r\n" +
           (tokens ? std::string("<input type=hidden name=stok value=\"") + StandinSite::TokenStok +
                         "\">\r\n<input type=\"hidden\" name=\"srt\" value='" + pageSrt + "'>\r\n"
                   : std::string()) +
           "<input type=submit value=\"Block bidders\">\r\n</form>\r\n</body>\r\n</html>\r\n";
}

// The id's UTF-8 as Latin-1 bytes; a character Latin-1 lacks becomes "?".
std::string toLatin1(const std::string &utf8)
{
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += char(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            out += char(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            out += '?';
            while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80)
                ++i;
        }
    }
    return out;
}

std::string historyPage(const std::string &id, bool naru, bool latin1)
{
    std::string page =
        "<html>\r\n<head><title>User ID History</title>" +
        std::string(latin1 ? "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=ISO-8859-1\">"
                           : "<meta charset=\"utf-8\">") +
        "</head>\r\n<body>\r\n";
    if (naru)
        page += "<p>The user ID you entered, <b>" + id + "</b>, is not a registered user.</p>\r\n";
    else
        page += "<h1>User ID history for " + id + "</h1>\r\n<table><tr><td>" + id +
                "</td><td>since 01-Jan-99</td></tr></table>\r\n";
    return page + "</body>\r\n</html>\r\n";
}

std::string robotCheckPage(const std::string &rawId, const std::string &id)
{
    return "<html>\r\n<head><title>Security check</title></head>\r\n<body>\r\n"
           "<p>Please verify that you are a person before you go on.</p>\r\n"
           "<form method=post action=\"" +
           cgiPath + "?MfcISAPICommand=ReturnUserIdHistory&amp;requested=" + rawId +
           "\">\r\n<input type=hidden name=requested value=\"" + id +
           "\">\r\n<input type=submit value=\"Continue\"></form>\r\n</body>\r\n</html>\r\n";
}

std::string maintenancePage()
{
    return "<html>\r\n<head><title>Down for maintenance</title></head>\r\n<body>\r\n"
           "<h1>We'll be back soon</h1>\r\n<p>The site is down for scheduled "
           "maintenance.</p>\r\n</body>\r\n</html>\r\n";
}

std::string uploadReplyPage(size_t count)
{
    return "<html>\r\n<head><title>Bidder Blocking</title></head>\r\n<body>\r\n<p>Your list of " +
           std::to_string(count) + " blocked bidders has been saved.</p>\r\n</body>\r\n</html>\r\n";
}

std::string toLfOnly(std::string page)
{
    std::string out;
    out.reserve(page.size());
    for (size_t i = 0; i < page.size(); ++i)
        if (!(page[i] == '\r' && i + 1 < page.size() && page[i + 1] == '\n'))
            out += page[i];
    return out;
}

} // namespace

struct StandinSite::Impl
{
    mutable std::mutex mutex;
    std::condition_variable wake; // ends delays early when the server stops
    bool stopping = false;

    std::vector<std::string> sellerList;
    std::vector<std::vector<std::string>> addAfterReads; // the next block-page read adds the first
    bool formTokens = false;
    std::set<std::string> naruIds;
    std::map<std::string, std::string> historyPages;
    std::string customBlockPage;
    std::string cookieName, cookieValue;
    Fault fault;
    std::map<std::string, Fault> lookupFaults;
    Fault uploadFault;
    std::string uploadLocation;
    bool signedOut = false;
    std::string signInRedirect;
    int uploadKeeps = -1;
    int failuresLeft = 0;
    int failureStatus = 0;
    int failureRetryAfter = -1;
    bool lfOnly = false;
    bool maintenance = false;
    bool robotCheck = false;
    bool latin1 = false;
    bool trickle = false;
    std::map<Kind, std::string> redirectElsewhere;
    std::vector<Request> requests;
    int inFlight = 0, peakInFlight = 0; // requests being answered at once

    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    int port = 0;

    bool hasRequiredCookie(const httplib::Request &req) const;
    const std::string *elsewhere(const httplib::Request &req, const std::string &query) const;
    void handle(const httplib::Request &req, httplib::Response &res);
};

bool StandinSite::Impl::hasRequiredCookie(const httplib::Request &req) const
{
    if (cookieName.empty())
        return true;
    const std::string wanted = cookieName + "=" + cookieValue;
    for (size_t n = 0; n < req.get_header_value_count("Cookie"); ++n) {
        const std::string header = req.get_header_value("Cookie", n);
        size_t pos = 0;
        while (pos <= header.size()) {
            size_t end = header.find(';', pos);
            if (end == std::string::npos)
                end = header.size();
            size_t first = header.find_first_not_of(' ', pos);
            if (first != std::string::npos && first < end && header.substr(first, end - first) == wanted)
                return true;
            pos = end + 1;
        }
    }
    return false;
}

void StandinSite::Impl::handle(const httplib::Request &req, httplib::Response &res)
{
    std::unique_lock<std::mutex> lock(mutex);
    peakInFlight = std::max(peakInFlight, ++inFlight);
    struct Leave
    {
        int &count;
        ~Leave() { --count; }
    } leave{inFlight};
    Request record{req.method, req.target, {}, req.body};
    for (const auto &[name, value] : req.headers)
        if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT")
            record.headers.emplace(name, value);
    requests.push_back(std::move(record));

    const size_t queryAt = req.target.find('?');
    const std::string path = req.target.substr(0, queryAt);
    const std::string query = queryAt == std::string::npos ? std::string() : req.target.substr(queryAt + 1);
    Fault applied = fault;
    std::string location;
    std::string page;
    int status = 200;
    const bool failThis = failuresLeft > 0;
    if (failThis)
        --failuresLeft;

    if (path == "/signin") {
        page = signInPage();
    } else if (path == cgiPath && signedOut && !signInRedirect.empty() && req.target != signInRedirect) {
        status = 302;
        location = signInRedirect;
    } else if (path == cgiPath && signedOut && signInRedirect.empty()) {
        page = signInPage();
    } else if (path != cgiPath) {
        status = 404;
        page = "<html><body><h1>Not Found</h1></body></html>\r\n";
    } else if (req.method == "GET" && elsewhere(req, query) != nullptr) {
        status = 302;
        location = *elsewhere(req, query) + req.target;
    } else if (req.method == "GET" && equalsIgnoringCase(query, "BidderBlockLogin")) {
        if (!hasRequiredCookie(req)) {
            page = signInPage();
        } else {
            page = customBlockPage.empty() ? blockPage(sellerList, formTokens) : customBlockPage;
            if (!addAfterReads.empty()) {
                sellerList.insert(sellerList.end(), addAfterReads.front().begin(), addAfterReads.front().end());
                addAfterReads.erase(addAfterReads.begin());
            }
        }
    } else if (req.method == "GET" && startsWith(query, "MfcISAPICommand=ReturnUserIdHistory")) {
        std::string raw;
        fieldValue(query, "requested", &raw);
        const std::string id = percentDecode(raw);
        const auto custom = historyPages.find(id);
        page = !hasRequiredCookie(req)        ? signInPage()
               : maintenance                  ? maintenancePage()
               : robotCheck                   ? robotCheckPage(raw, id)
               : custom != historyPages.end() ? custom->second
                                              : historyPage(latin1 ? toLatin1(id) : id, naruIds.count(id) > 0, latin1);
        const auto idFault = lookupFaults.find(id);
        if (idFault != lookupFaults.end())
            applied = idFault->second;
    } else if (req.method == "POST") {
        std::string command, list;
        fieldValue(req.body, "MfcISAPICommand", &command);
        if (command != "BidderBlockResult" || !fieldValue(req.body, "bidderlist", &list)) {
            status = 400;
            page = "<html><body><h1>Unknown command</h1></body></html>\r\n";
        } else if (!hasRequiredCookie(req)) {
            page = signInPage();
        } else if (formTokens && !(formField(req.body, "stok") == StandinSite::TokenStok &&
                                   formField(req.body, "srt") == StandinSite::TokenSrt)) {
            page = "<html><body><p>Your request could not be completed. Please try again.</p></body></html>\r\n";
        } else {
            std::vector<std::string> ids;
            size_t pos = 0;
            while (!list.empty() && pos <= list.size()) {
                size_t end = list.find(", ", pos);
                if (end == std::string::npos)
                    end = list.size();
                ids.push_back(percentDecode(list.substr(pos, end - pos)));
                pos = end + 2;
            }
            if (uploadFault.status || uploadFault.delayMs || uploadFault.drop) {
                applied = uploadFault;
                location = uploadLocation;
            }
            // Only an upload that is answered as done takes the place of the list.
            const bool accepted = (applied.status == 0 || applied.status / 100 == 2) && !applied.drop && !failThis;
            if (accepted && uploadKeeps != 0)
                sellerList.assign(
                    ids.begin(), uploadKeeps < 0 ? ids.end() : ids.begin() + std::min<size_t>(uploadKeeps, ids.size()));
            if (applied.status / 100 != 3)
                page = uploadReplyPage(ids.size());
        }
    } else {
        status = 400;
        page = "<html><body><h1>Unknown command</h1></body></html>\r\n";
    }

    if (failThis) {
        applied = Fault{failureStatus, 0, failureStatus == 0};
        location.clear();
    }
    if (lfOnly)
        page = toLfOnly(page);
    if (applied.delayMs > 0)
        wake.wait_for(lock, std::chrono::milliseconds(applied.delayMs), [this] { return stopping; });
    res.status = applied.status ? applied.status : status;
    if (!location.empty())
        res.set_header("Location", location);
    if (failThis && failureRetryAfter >= 0)
        res.set_header("Retry-After", std::to_string(failureRetryAfter));
    if (applied.drop) {
        // Headers promise a body that never comes: the client sees the connection close mid-reply.
        res.set_content_provider(page.size() + 1, "text/html",
                                 [](size_t, size_t, httplib::DataSink &) { return false; });
        return;
    }
    if (trickle) {
        res.set_content_provider(
            page.size(), "text/html", [this, page](size_t offset, size_t, httplib::DataSink &sink) {
                std::unique_lock<std::mutex> wait(mutex);
                if (wake.wait_for(wait, std::chrono::seconds(1), [this] { return stopping; }) || offset >= page.size())
                    return false;
                wait.unlock();
                sink.write(page.data() + offset, 1);
                return true;
            });
        return;
    }
    res.set_content(page, "text/html");
}

const std::string *StandinSite::Impl::elsewhere(const httplib::Request &req, const std::string &query) const
{
    const Kind kind = equalsIgnoringCase(query, "BidderBlockLogin") ? Kind::BlockPage : Kind::Lookup;
    const auto found = redirectElsewhere.find(kind);
    if (found == redirectElsewhere.end() || found->second.empty() ||
        (kind == Kind::Lookup && !startsWith(query, "MfcISAPICommand=ReturnUserIdHistory")))
        return nullptr;
    // Only the site's own address is sent on: the other origin answers as the site would.
    return startsWith(req.get_header_value("Host"), "127.0.0.1:") ? &found->second : nullptr;
}

const char *const StandinSite::TokenStok = "k/Zq+3=";
const char *const StandinSite::TokenSrt = "a&b c";

StandinSite::StandinSite() : d(std::make_unique<Impl>()) {}

StandinSite::~StandinSite()
{
    stop();
}

bool StandinSite::start(int port)
{
    stop();
    // A client that gives up mid-reply must not kill the process that hosts the stand-in.
    std::signal(SIGPIPE, SIG_IGN);
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopping = false;
    }
    d->server = std::make_unique<httplib::Server>();
    // Replies go out as several small writes; without this, a client that keeps its connection
    // open waits on delayed acknowledgements for every one.
    d->server->set_tcp_nodelay(true);
    auto handler = [this](const httplib::Request &req, httplib::Response &res) { d->handle(req, res); };
    d->server->Get(".*", handler);
    // The body is read here rather than by httplib, which answers 413 to any form body over 8 KB;
    // the real site takes a list of thousands of bidders in one post.
    d->server->Post(".*",
                    [this](const httplib::Request &req, httplib::Response &res, const httplib::ContentReader &content) {
                        httplib::Request withBody = req;
                        content([&withBody](const char *data, size_t length) {
                            withBody.body.append(data, length);
                            return true;
                        });
                        d->handle(withBody, res);
                    });

    const int bound =
        port == 0 ? d->server->bind_to_any_port("127.0.0.1") : (d->server->bind_to_port("127.0.0.1", port) ? port : -1);
    if (bound <= 0) {
        d->server.reset();
        return false;
    }
    d->port = bound;
    // The socket already listens, so connections made from here on wait in its backlog. Wait for the
    // accept loop too: stop() can only end a server that is running.
    auto ended = std::make_shared<std::atomic<bool>>(false);
    d->thread = std::thread([server = d->server.get(), ended] {
        server->listen_after_bind();
        *ended = true;
    });
    while (!d->server->is_running() && !*ended)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (*ended) {
        d->thread.join();
        d->server.reset();
        return false;
    }
    return true;
}

void StandinSite::stop()
{
    if (!d->server)
        return;
    {
        std::lock_guard<std::mutex> lock(d->mutex);
        d->stopping = true;
    }
    d->wake.notify_all();
    d->server->stop();
    if (d->thread.joinable())
        d->thread.join();
    d->server.reset();
    d->port = 0;
}

int StandinSite::port() const
{
    return d->port;
}

std::string StandinSite::baseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(d->port);
}

void StandinSite::setSellerList(const std::vector<std::string> &ids)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->sellerList = ids;
}

std::vector<std::string> StandinSite::sellerList() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->sellerList;
}

void StandinSite::addAfterNextBlockPageRead(const std::vector<std::string> &ids)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->addAfterReads.push_back(ids);
}

void StandinSite::setFormTokens(bool on)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->formTokens = on;
}

void StandinSite::setNaruIds(const std::set<std::string> &ids)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->naruIds = ids;
}

void StandinSite::setHistoryPage(const std::string &id, const std::string &body)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->historyPages[id] = body;
}

void StandinSite::setBlockPage(const std::string &body)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->customBlockPage = body;
}

void StandinSite::setRequiredCookie(const std::string &name, const std::string &value)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->cookieName = name;
    d->cookieValue = value;
}

void StandinSite::setSignedOut(bool signedOut, const std::string &redirectTo)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->signedOut = signedOut;
    d->signInRedirect = redirectTo;
}

void StandinSite::setUploadKeeps(int count)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->uploadKeeps = count;
}

void StandinSite::failNextRequests(int count, int status, int retryAfterSeconds)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->failuresLeft = count;
    d->failureStatus = status;
    d->failureRetryAfter = retryAfterSeconds;
}

void StandinSite::setFault(const Fault &fault)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->fault = fault;
}

void StandinSite::setLookupFault(const std::string &id, const Fault &fault)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->lookupFaults[id] = fault;
}

void StandinSite::setUploadFault(const Fault &fault, const std::string &location)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->uploadFault = fault;
    d->uploadLocation = location;
}

void StandinSite::setLfOnly(bool lfOnly)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->lfOnly = lfOnly;
}

void StandinSite::setMaintenance(bool maintenance)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->maintenance = maintenance;
}

void StandinSite::setRobotCheck(bool robotCheck)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->robotCheck = robotCheck;
}

void StandinSite::setLatin1(bool latin1)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->latin1 = latin1;
}

void StandinSite::setRedirectElsewhere(Kind kind, const std::string &base)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->redirectElsewhere[kind] = base;
}

void StandinSite::setTrickle(bool trickle)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->trickle = trickle;
}

std::vector<StandinSite::Request> StandinSite::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->requests;
}

void StandinSite::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->requests.clear();
    d->peakInFlight = 0;
}

int StandinSite::peakRequestsInFlight() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->peakInFlight;
}

std::string StandinSite::percentDecode(const std::string &text)
{
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}
