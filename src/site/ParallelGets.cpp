// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/ParallelGets.h"

#include "site/SiteTransfer.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <map>
#include <variant>

namespace {

// How far past the oldest reply not yet handed back new requests may start: replies that arrive
// early wait in memory, so one slow request cannot make that pile grow without end.
constexpr int kReadAhead = 64;

} // namespace

struct ParallelGets::Impl
{
    // One request, through all its tries.
    struct Request
    {
        int index = 0;
        int tries = 0;
        QByteArray url;
        const SiteRequest *asked = nullptr;
        std::unique_ptr<curl_slist, SlistDeleter> headers;
        std::unique_ptr<SiteTransfer> transfer; // the try in flight, if any
        std::unique_ptr<QTimer> retry;          // the wait before the next try, if any
    };
    // A socket's two notifiers, kept with the socket by curl_multi_assign.
    struct SocketWatch
    {
        QSocketNotifier *read;
        QSocketNotifier *write;
    };

    Impl(ParallelGets *owner, const SiteClient &client) : q(owner), site(client), multi(curl_multi_init())
    {
        for (const QString &mapping : site.connectTo())
            if (curl_slist *head = curl_slist_append(connectTo.get(), mapping.toUtf8().constData())) {
                (void)connectTo.release();
                connectTo.reset(head);
            }
        curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, onSocket);
        curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
        curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, onTimer);
        curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
        curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, long(MaxInFlight));
        curl_multi_setopt(multi, CURLMOPT_MAX_TOTAL_CONNECTIONS, long(MaxInFlight));
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, q, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    }

    ~Impl()
    {
        abandon();
        curl_multi_cleanup(multi); // closes the kept connections, retiring their notifiers
        for (auto &[watch, owned] : watches) {
            delete watch->read;
            delete watch->write;
        }
    }

    static int onSocket(CURL *, curl_socket_t socket, int what, void *self, void *watchPtr)
    {
        auto *impl = static_cast<Impl *>(self);
        auto *watch = static_cast<SocketWatch *>(watchPtr);
        if (what == CURL_POLL_REMOVE) {
            if (watch) {
                // The notifier may be the one whose signal is being handled: it goes later, and
                // off now, so that a new socket on the same number gets notifiers of its own.
                for (QSocketNotifier *notifier : {watch->read, watch->write}) {
                    notifier->setEnabled(false);
                    notifier->deleteLater();
                }
                curl_multi_assign(impl->multi, socket, nullptr);
                impl->watches.erase(watch);
            }
            return 0;
        }
        if (!watch) {
            auto owned =
                std::make_unique<SocketWatch>(SocketWatch{new QSocketNotifier(socket, QSocketNotifier::Read),
                                                          new QSocketNotifier(socket, QSocketNotifier::Write)});
            watch = owned.get();
            QObject::connect(watch->read, &QSocketNotifier::activated, impl->q,
                             [impl, socket] { impl->act(socket, CURL_CSELECT_IN); });
            QObject::connect(watch->write, &QSocketNotifier::activated, impl->q,
                             [impl, socket] { impl->act(socket, CURL_CSELECT_OUT); });
            impl->watches.emplace(watch, std::move(owned));
            curl_multi_assign(impl->multi, socket, watch);
        }
        watch->read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
        watch->write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
        return 0;
    }

    static int onTimer(CURLM *, long timeoutMs, void *self)
    {
        auto *impl = static_cast<Impl *>(self);
        if (timeoutMs < 0)
            impl->timer.stop();
        else
            impl->timer.start(int(timeoutMs));
        return 0;
    }

    void act(curl_socket_t socket, int events)
    {
        int running = 0;
        curl_multi_socket_action(multi, socket, events, &running);
        collect();
    }

    void launch(Request &request)
    {
        request.retry.reset();
        const SiteRequest &asked = *request.asked;
        request.transfer = std::make_unique<SiteTransfer>(site.timeouts(), request.url, request.headers.get(),
                                                          asked.post, asked.body, asked.maxReplyBytes);
        CURL *handle = request.transfer->handle();
        // A silent server is noticed by libcurl's own speed check, which the multi interface runs
        // on its timer; the check also wakes the transfer each second, so that the progress watch
        // notices a post that was taken in and never answered.
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, long(qMax(1, site.timeouts().noProgressMs / 1000)));
        curl_easy_setopt(handle, CURLOPT_CONNECT_TO, connectTo.get());
        inFlight.emplace(handle, &request);
        curl_multi_add_handle(multi, handle);
    }

    // What the replies held and those on their way may take at most.
    qint64 bytesBound() const
    {
        qint64 bound = heldBytes;
        for (const auto &[index, request] : requests)
            bound += request->asked->maxReplyBytes;
        return bound;
    }

    // Starts requests while there is room.
    void fill()
    {
        while (running && int(requests.size()) < MaxInFlight && nextToStart < wanted.size() &&
               nextToStart < nextToDeliver + kReadAhead && nextToStart < stopAt &&
               bytesBound() + wanted.at(nextToStart).maxReplyBytes <= MaxHeldBytes) {
            const int index = nextToStart++;
            auto request = std::make_unique<Request>();
            request->index = index;
            request->asked = &wanted.at(index);
            const QString url = site.baseUrl() + wanted.at(index).pathAndQuery;
            request->url = url.toUtf8();
            request->headers.reset(SiteRequestHeaders(site.cookies(), url));
            Request &started = *request;
            requests.emplace(index, std::move(request));
            launch(started);
        }
    }

    // Takes in the tries libcurl has finished.
    void collect()
    {
        int left = 0;
        while (CURLMsg *message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CURL *handle = message->easy_handle;
            const CURLcode code = message->data.result;
            auto found = inFlight.find(handle);
            if (found == inFlight.end())
                continue;
            Request &request = *found->second;
            inFlight.erase(found);
            curl_multi_remove_handle(multi, handle);
            TryOutcome outcome = request.transfer->conclude(code);
            request.transfer.reset();
            ++request.tries;
            conclude(request, std::move(outcome));
        }
        if (deliver())
            fill();
    }

    void conclude(Request &request, TryOutcome outcome)
    {
        // A post is never sent again: the site may have taken the first one, whatever came back.
        const int wait = outcome.passingOutage() && !request.asked->post
                             ? NextTryWaitMs(site.timeouts(), request.tries, outcome.retryAfterSeconds)
                             : -1;
        if (wait >= 0) {
            request.retry = std::make_unique<QTimer>();
            request.retry->setSingleShot(true);
            QObject::connect(request.retry.get(), &QTimer::timeout, q, [this, &request] {
                launch(request);
                int runningHandles = 0;
                curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &runningHandles);
            });
            request.retry->start(wait);
            return;
        }
        const int index = request.index;
        if (outcome.completed) {
            FetchedPage page;
            page.reply.status = outcome.status;
            page.reply.redirectedOffPath = outcome.redirectedOffPath && !request.asked->post;
            page.body = std::move(outcome.body);
            heldBytes += page.body.size();
            ready.emplace(index, std::move(page));
        } else {
            ready.emplace(index, RequestFailure(QString::fromUtf8(request.url), request.tries, outcome.failure));
            // Nothing after a failure will be handed back: those requests go now.
            stopAt = qMin(stopAt, index + 1);
            dropFrom(index + 1);
        }
        requests.erase(index);
    }

    void cancel(Request &request)
    {
        if (request.transfer) {
            inFlight.erase(request.transfer->handle());
            curl_multi_remove_handle(multi, request.transfer->handle());
        }
    }

    void dropFrom(int first)
    {
        for (auto it = requests.lower_bound(first); it != requests.end();) {
            cancel(*it->second);
            it = requests.erase(it);
        }
    }

    // Hands back, in order, what has come in. False when the receiver deleted the job meanwhile.
    bool deliver()
    {
        const QPointer<ParallelGets> alive(q);
        while (running) {
            auto next = ready.find(nextToDeliver);
            if (next == ready.end())
                break;
            auto result = std::move(next->second);
            ready.erase(next);
            if (const auto *page = std::get_if<FetchedPage>(&result))
                heldBytes -= page->body.size();
            const int index = nextToDeliver++;
            if (auto *error = std::get_if<SiteError>(&result)) {
                const SiteError failure = *error;
                abandon();
                emit q->failed(index, failure);
                return !alive.isNull();
            }
            emit q->fetched(index, std::get<FetchedPage>(result));
            if (!alive)
                return false;
        }
        if (running && nextToDeliver == wanted.size()) {
            running = false;
            emit q->finished();
        }
        return !alive.isNull();
    }

    void abandon()
    {
        running = false;
        dropFrom(0);
        ready.clear();
        heldBytes = 0;
    }

    ParallelGets *const q;
    const SiteClient &site;
    CURLM *const multi;
    QTimer timer;
    std::unique_ptr<curl_slist, SlistDeleter> connectTo;
    std::map<SocketWatch *, std::unique_ptr<SocketWatch>> watches;
    QList<SiteRequest> wanted;
    qint64 heldBytes = 0; // the bodies in `ready`
    bool running = false;
    int nextToStart = 0;
    int nextToDeliver = 0;
    int stopAt = 0;
    std::map<int, std::unique_ptr<Request>> requests; // started and not yet concluded
    std::map<CURL *, Request *> inFlight;
    std::map<int, std::variant<FetchedPage, SiteError>> ready;
};

ParallelGets::ParallelGets(const SiteClient &site, QObject *parent)
    : QObject(parent), d(std::make_unique<Impl>(this, site))
{}

ParallelGets::~ParallelGets() = default;

void ParallelGets::start(const QStringList &pathsAndQueries, qint64 maxReplyBytes)
{
    QList<SiteRequest> gets;
    gets.reserve(pathsAndQueries.size());
    for (const QString &path : pathsAndQueries)
        gets.append(SiteRequest{path, false, {}, maxReplyBytes});
    start(gets);
}

void ParallelGets::start(const QList<SiteRequest> &requests)
{
    d->abandon();
    d->wanted = requests;
    d->running = true;
    d->nextToStart = d->nextToDeliver = 0;
    d->stopAt = int(requests.size());
    // Like every later answer, an empty job's end comes from the event loop, not from start().
    QTimer::singleShot(0, this, [this] {
        if (d->deliver())
            d->fill();
    });
}

void ParallelGets::stop()
{
    d->abandon();
}

bool ParallelGets::isRunning() const
{
    return d->running;
}
