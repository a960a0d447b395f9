#include "platform/qt_http_client.h"

#include "core/text_decoding.h"
#include "quotes/consent_form.h"
#include "quotes/quote_url.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace larkspire {

namespace {

// A URL from a server as a user may read it: percent-encoded, so that it
// holds no control character, and never longer than a line.
QString shownUrl(const QUrl& url)
{
    QString text = QString::fromLatin1(url.toEncoded(QUrl::RemoveUserInfo));
    if (text.isEmpty())
        text = QStringLiteral("(no address)");
    if (text.size() > 200)
        text = text.left(200) + QStringLiteral("...");
    return text;
}

QNetworkProxy proxyFor(const QNetworkAccessManager* manager, const QUrl& url)
{
    if (manager->proxy().type() != QNetworkProxy::DefaultProxy)
        return manager->proxy();
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
}

const QString kAskedAgain = QStringLiteral("The quote service asked for cookie consent again after it was declined");

HttpResult failure(const QString& error)
{
    HttpResult r;
    r.error = error;
    return r;
}

} // namespace

QString describeHttpStatus(int status)
{
    // Our own words: the reason phrase a server sends is its text, not ours
    // to show (it may hold anything, control characters included).
    static const std::pair<int, const char*> phrases[] = {
        {400, "Bad Request"},         {401, "Unauthorized"},          {403, "Forbidden"},
        {404, "Not Found"},           {405, "Method Not Allowed"},    {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"}, {408, "Request Timeout"}, {410, "Gone"},
        {429, "Too Many Requests"},   {451, "Unavailable For Legal Reasons"}, {500, "Internal Server Error"},
        {501, "Not Implemented"},     {502, "Bad Gateway"},           {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
    };
    QString text = QStringLiteral("HTTP error");
    for (const auto& [code, phrase] : phrases)
        if (code == status)
            text = QString::fromLatin1(phrase);
    return text + QStringLiteral(" (HTTP ") + QString::number(status) + QLatin1Char(')');
}

qint64 retryAfterMs(const QByteArray& value, const QDateTime& now, qint64 cap)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Seconds; a number too large for any clock is the longest wait.
        bool fits = false;
        const qint64 seconds = text.toLongLong(&fits);
        return !fits || seconds > cap / 1000 ? cap : std::min(cap, seconds * 1000);
    }
    // An HTTP date ends in "GMT", which Qt's RFC 2822 reading does not take.
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QStringLiteral(" GMT")))
        date.replace(date.size() - 3, 3, QStringLiteral("+0000"));
    const QDateTime at = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!at.isValid())
        return -1;
    return std::clamp<qint64>(now.msecsTo(at), 0, cap);
}

// ---------------------------------------------------------------------------
// One request and the redirects that follow it, without waiting for it:
// `done` is called once, with the answer or the failure in `outcome`.

class QtHttpClient::Transfer final : public QObject {
public:
    struct Outcome {
        HttpResult result;
        QUrl finalUrl;          // where the redirects ended
        QByteArray retryAfter;  // the service's Retry-After, when it sent one
        int redirects = 0;      // how many were followed
    };

    Transfer(QNetworkAccessManager* manager, const HttpLimits& limits, const QUrl& url, const QUrl& origin,
             std::optional<QByteArray> formBody, std::function<void()> done, QObject* parent)
        : QObject(parent), m_manager(manager), m_limits(limits), m_at(url), m_origin(origin),
          m_body(std::move(formBody)), m_done(std::move(done))
    {
        m_total.setSingleShot(true);
        connect(&m_total, &QTimer::timeout, this, [this] { stop(Ending::TimedOut); });
        m_total.start(m_limits.totalMs);
        send();
    }
    // Ends it now; nobody is told.
    void cancel()
    {
        m_done = nullptr;
        stop(Ending::Aborted);
    }
    Outcome outcome;

private:
    enum class Ending { Finished, TimedOut, TooLarge, Aborted };

    void send()
    {
        QNetworkRequest request(m_at);
        request.setHeader(QNetworkRequest::UserAgentHeader, kBrowserUserAgent);
        request.setRawHeader("Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
        request.setRawHeader("Accept-Language", "en-US,en;q=0.9");
        request.setTransferTimeout(m_limits.stallMs);
        // Every redirect is looked at here before anything is sent to it.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        if (m_body) {
            request.setHeader(QNetworkRequest::ContentTypeHeader,
                              QByteArrayLiteral("application/x-www-form-urlencoded"));
            m_reply = m_manager->post(request, *m_body);
        } else {
            m_reply = m_manager->get(request);
        }
        m_received = 0;
        connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 bytes, qint64 total) {
            m_received = bytes;
            if (bytes > m_limits.maxBodyBytes || total > m_limits.maxBodyBytes)
                stop(Ending::TooLarge);
        });
        connect(m_reply, &QNetworkReply::finished, this, &Transfer::answered);
    }

    void stop(Ending why)
    {
        if (m_ending == Ending::Finished)
            m_ending = why;
        if (m_reply && !m_reply->isFinished())
            m_reply->abort(); // answered() follows
        else if (!m_reply)
            finish();
    }

    void answered()
    {
        QNetworkReply* reply = m_reply;
        if (!reply)
            return;
        m_reply = nullptr;
        reply->deleteLater();
        HttpResult& result = outcome.result;
        result = HttpResult();
        outcome.finalUrl = reply->url();
        outcome.retryAfter = reply->rawHeader("Retry-After");
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QUrl redirect = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        const QNetworkReply::NetworkError error = reply->error();
        if (m_ending == Ending::TimedOut || error == QNetworkReply::TimeoutError ||
            (error == QNetworkReply::OperationCanceledError && m_ending == Ending::Finished)) {
            // The transfer timeout of Qt ends a stalled request as cancelled.
            result.error = QStringLiteral("Operation timed out");
        } else if (m_ending == Ending::TooLarge) {
            result.error = QStringLiteral("The page is larger than %1 MB").arg(m_limits.maxBodyBytes >> 20);
        } else if (m_ending == Ending::Aborted) {
            result.error = QStringLiteral("Operation cancelled");
        } else if (result.status >= 300 && result.status < 400 && redirect.isValid()) {
            if (follow(reply->url().resolved(redirect)))
                return;
        } else if (result.status >= 400) {
            result.error = describeHttpStatus(result.status);
        } else if (error == QNetworkReply::ConnectionRefusedError) {
            result.error = QStringLiteral("Connection refused");
        } else if (error == QNetworkReply::HostNotFoundError) {
            result.error = QStringLiteral("Host ") + reply->url().host() + QStringLiteral(" not found");
        } else if (error == QNetworkReply::RemoteHostClosedError) {
            result.error = QStringLiteral("The connection was closed before the whole page arrived");
        } else if (error != QNetworkReply::NoError &&
                   reply->errorString().startsWith(QStringLiteral("Decompression"))) {
            result.error = QStringLiteral("The page's compressed data is damaged or unpacks to more than the "
                                          "client allows");
        } else if (error != QNetworkReply::NoError) {
            result.error = reply->errorString();
        } else {
            const QByteArray bytes = reply->readAll();
            // A connection that ends early can look like a finished answer:
            // the length the server announced decides.
            const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
            const bool encoded = !reply->rawHeader("Content-Encoding").isEmpty();
            const qint64 arrived = encoded ? m_received : bytes.size();
            if (announced.isValid() && arrived < announced.toLongLong()) {
                result.error = QStringLiteral("The connection was closed before the whole page arrived");
            } else {
                result.ok = true;
                result.body = decodeBody(bytes, reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
            }
        }
        finish();
    }

    // Follows a redirect when it may be followed; false with the failure
    // in the outcome when not.
    bool follow(const QUrl& target)
    {
        QString& error = outcome.result.error;
        if (++m_hops > m_limits.maxRedirects) {
            error = QStringLiteral("Too many redirects");
        } else if (m_at.scheme() == QStringLiteral("https") && target.scheme() != QStringLiteral("https")) {
            error = QStringLiteral("Redirected from a secure address to an insecure one");
        } else if (!isQuoteServiceUrl(target, m_origin) || !isQuoteServicePort(target, m_at)) {
            error = QStringLiteral("The quote service redirected the request outside the quote service, to ") +
                    shownUrl(target);
        } else if (bypassesProxy(target)) {
            error = QStringLiteral("The quote service redirected the request to an address the proxy settings "
                                   "would reach without the proxy: ") +
                    shownUrl(target);
        } else {
            // 307 and 308 repeat a post; the others ask for the new page.
            if (outcome.result.status != 307 && outcome.result.status != 308)
                m_body.reset();
            m_at = target;
            outcome.redirects = m_hops;
            send();
            return true;
        }
        return false;
    }

    // Whether the target would be reached directly while the request went
    // through a proxy: no_proxy must not let a redirect leave the proxy.
    bool bypassesProxy(const QUrl& target) const
    {
        return proxyFor(m_manager, m_at).type() != QNetworkProxy::NoProxy &&
               proxyFor(m_manager, target).type() == QNetworkProxy::NoProxy;
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        m_total.stop();
        if (auto done = std::exchange(m_done, nullptr))
            done();
    }

    QNetworkAccessManager* m_manager;
    HttpLimits m_limits;
    QUrl m_at;
    QUrl m_origin;
    std::optional<QByteArray> m_body;
    std::function<void()> m_done;
    QTimer m_total;
    QPointer<QNetworkReply> m_reply;
    Ending m_ending = Ending::Finished;
    int m_hops = 0;
    qint64 m_received = 0;
    bool m_finished = false;
};

// ---------------------------------------------------------------------------
// One page asked for, fetched ahead or waited for.

struct QtHttpClient::Job {
    explicit Job(QUrl u) : url(std::move(u)) {}
    enum class State { Queued, Running, Waiting, Done };
    QUrl url;
    State state = State::Queued;
    HttpResult result;
    int retries = 0;
    bool declining = false;         // this request carries the answer to the consent form
    bool askedAgain = false;        // sent again after the form was declined
    int sentInRound = 0;            // how many declines were complete when it was sent
    Transfer* transfer = nullptr;
    std::unique_ptr<QTimer> timer;  // the wait the service asked for
    QEventLoop* loop = nullptr;     // get() waits for this page
};

QtHttpClient::QtHttpClient(HttpLimits limits, bool useSystemProxy, QObject* parent)
    : QObject(parent), m_limits(limits), m_manager(new QNetworkAccessManager(this)),
      m_maxInFlight(std::clamp(limits.maxInFlight, 1, 6)), m_inFlightLimit(m_maxInFlight)
{
    m_manager->setStrictTransportSecurityEnabled(true);
    if (useSystemProxy) {
        // On Linux this reads http_proxy, https_proxy and no_proxy.
        QNetworkProxyFactory::setUseSystemConfiguration(true);
    } else {
        m_manager->setProxy(QNetworkProxy::NoProxy);
    }
}

QtHttpClient::~QtHttpClient()
{
    for (auto& job : m_jobs)
        drop(*job);
}

HttpResult QtHttpClient::get(const QUrl& url)
{
    auto found = std::find_if(m_jobs.begin(), m_jobs.end(),
                              [&](const auto& j) { return j->url == url && !j->loop; });
    if (found == m_jobs.end()) {
        m_jobs.push_front(std::make_unique<Job>(url));
        found = m_jobs.begin();
    }
    Job& job = **found;
    QEventLoop loop;
    job.loop = &loop;
    Job* const outer = std::exchange(m_waiting, &job);
    if (job.state == Job::State::Waiting && waitReport)
        waitReport(int((job.timer->remainingTime() + 999) / 1000));
    pump();
    // Every event runs meanwhile: which input may act during a fetch is the
    // caller's choice (the window holds clicks and keys back).
    if (job.state != Job::State::Done)
        loop.exec();
    m_waiting = outer;
    HttpResult result = std::move(job.result);
    m_jobs.erase(std::find_if(m_jobs.begin(), m_jobs.end(), [&](const auto& j) { return j.get() == &job; }));
    pump();
    return result;
}

void QtHttpClient::fetchAhead(const QList<QUrl>& next)
{
    // The pages named, in their order: those already on their way keep
    // going, the others are dropped; pages someone waits for stay.
    std::deque<std::unique_ptr<Job>> kept;
    std::vector<bool> used(m_jobs.size(), false);
    for (const QUrl& url : next) {
        qsizetype at = -1;
        for (size_t i = 0; i < m_jobs.size() && at < 0; ++i)
            if (!used[i] && !m_jobs[i]->loop && m_jobs[i]->url == url)
                at = qsizetype(i);
        if (at >= 0) {
            used[size_t(at)] = true;
            kept.push_back(std::move(m_jobs[size_t(at)]));
        } else {
            kept.push_back(std::make_unique<Job>(url));
        }
    }
    for (size_t i = 0; i < m_jobs.size(); ++i) {
        if (used[i])
            continue;
        if (m_jobs[i]->loop) {
            kept.push_front(std::move(m_jobs[i]));
        } else {
            drop(*m_jobs[i]);
        }
    }
    m_jobs = std::move(kept);
    pump();
}

void QtHttpClient::abort()
{
    for (auto& job : m_jobs) {
        drop(*job);
        job->result = failure(QStringLiteral("Operation cancelled"));
        job->state = Job::State::Done;
        if (job->loop)
            job->loop->quit();
    }
    // Pages someone waits for leave when their get() returns.
    m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(), [](const auto& j) { return !j->loop; }), m_jobs.end());
    if (m_consent == Consent::Declining)
        m_consent = Consent::NotMet;
}

void QtHttpClient::newRun()
{
    // Each run declines the form once, should it meet it.
    if (m_consent != Consent::Declining)
        m_consent = Consent::NotMet;
}

void QtHttpClient::drop(Job& job)
{
    if (job.transfer) {
        job.transfer->cancel();
        job.transfer->deleteLater();
        job.transfer = nullptr;
    }
    if (job.declining)
        m_consent = Consent::NotMet;
    job.declining = false;
    job.timer.reset();
}

void QtHttpClient::pump()
{
    // While the consent answer is on its way nothing new goes out: it would
    // only meet the form again.
    if (m_consent == Consent::Declining)
        return;
    int busy = 0;
    bool running = false;
    for (const auto& job : m_jobs) {
        busy += job->state != Job::State::Queued; // on its way, waiting, or an answer held
        running = running || job->state == Job::State::Running || job->state == Job::State::Waiting;
    }
    for (auto& job : m_jobs) {
        if (job->state != Job::State::Queued)
            continue;
        // The first page asked for always goes when nothing else is on its way.
        const bool first = job.get() == m_jobs.front().get();
        if (busy >= m_inFlightLimit && !(first && !running))
            break;
        start(*job);
        ++busy;
        running = true;
    }
}

void QtHttpClient::start(Job& job)
{
    job.state = Job::State::Running;
    job.sentInRound = m_consentRound;
    job.transfer = new Transfer(m_manager, m_limits, job.url, job.url, std::nullopt, [this, &job] { finished(job); },
                                this);
}

void QtHttpClient::finished(Job& job)
{
    Transfer* transfer = std::exchange(job.transfer, nullptr);
    Transfer::Outcome outcome = std::move(transfer->outcome);
    transfer->deleteLater();
    const HttpResult& r = outcome.result;
    if (job.declining) {
        // The answer to the declined consent form.
        job.declining = false;
        if (r.ok && IsConsentPage(r.body)) {
            m_consent = Consent::DidNotStick;
            settle(job, failure(kAskedAgain));
        } else if (!r.ok) {
            m_consent = Consent::NotMet; // the answer never arrived
            settle(job, r);
        } else {
            m_consent = Consent::Declined;
            ++m_consentRound;
            if (outcome.redirects > 0) { // led back to the quote page
                settle(job, r);
            } else { // answered in place: ask for the page again, cookies now held
                job.state = Job::State::Queued;
                job.askedAgain = true;
            }
        }
        pump();
        return;
    }
    if (!r.ok && (r.status == 429 || r.status == 503) && job.retries < m_limits.maxRetries) {
        if (r.status == 429) {
            m_inFlightLimit = 1;
            m_successes = 0;
        }
        ++job.retries;
        qint64 wait = retryAfterMs(outcome.retryAfter, QDateTime::currentDateTimeUtc(), m_limits.maxRetryWaitMs);
        if (wait < 0)
            wait = qint64(m_limits.firstRetryWaitMs) << (job.retries - 1);
        retryLater(job);
        job.timer->start(int(wait));
        if (&job == m_waiting && waitReport)
            waitReport(int((wait + 999) / 1000));
        pump();
        return;
    }
    if (r.ok && IsConsentPage(r.body)) {
        consentMet(job, outcome.finalUrl, r.body);
        return;
    }
    if (r.ok && ++m_successes >= m_limits.growBackAfter && m_inFlightLimit < m_maxInFlight) {
        ++m_inFlightLimit;
        m_successes = 0;
    }
    settle(job, r);
}

void QtHttpClient::retryLater(Job& job)
{
    job.state = Job::State::Waiting;
    job.timer = std::make_unique<QTimer>();
    job.timer->setSingleShot(true);
    connect(job.timer.get(), &QTimer::timeout, this, [this, &job] {
        job.state = Job::State::Queued;
        if (&job == m_waiting && waitReport)
            waitReport(0);
        pump();
    });
}

void QtHttpClient::consentMet(Job& job, const QUrl& pageUrl, const QString& page)
{
    switch (m_consent) {
    case Consent::Declining:
        // Another request's answer to the form is on its way: this one is
        // sent again once it is in, and not answered again.
        job.state = Job::State::Queued;
        return;
    case Consent::Declined:
        // A request sent before the decline was complete carried no cookie
        // yet: it is asked again with it. One sent after it that still
        // meets the form shows that the decline did not stick.
        if (job.sentInRound < m_consentRound && !job.askedAgain) {
            job.askedAgain = true;
            job.state = Job::State::Queued;
            return;
        }
        m_consent = Consent::DidNotStick;
        settle(job, failure(kAskedAgain));
        return;
    case Consent::DidNotStick:
        settle(job, failure(kAskedAgain)); // never a second answer
        return;
    case Consent::NotMet:
        break;
    }
    // Decline it, and take the page the service leads back to as the
    // answer. The cookies it sets stay in the manager's jar.
    const auto decline = DeclineConsentForm(page);
    const QUrl action = !decline ? QUrl()
                        : decline->action.isEmpty() ? pageUrl
                                                    : pageUrl.resolved(QUrl(decline->action));
    if (!decline || !(action.scheme() == QStringLiteral("http") || action.scheme() == QStringLiteral("https"))) {
        settle(job, failure(QStringLiteral(
                        "The quote service asked for cookie consent with a form that cannot be declined")));
        return;
    }
    if (!isQuoteServiceUrl(action, job.url) || !isQuoteServicePort(action, pageUrl)) {
        settle(job, failure(QStringLiteral("The quote service's consent form would send the answer outside the "
                                           "quote service, to ") +
                            shownUrl(action)));
        return;
    }
    job.declining = true;
    m_consent = Consent::Declining;
    job.state = Job::State::Running;
    job.transfer =
        new Transfer(m_manager, m_limits, action, job.url, decline->body, [this, &job] { finished(job); }, this);
}

void QtHttpClient::settle(Job& job, HttpResult result)
{
    job.result = std::move(result);
    job.state = Job::State::Done;
    if (job.loop)
        job.loop->quit();
    pump();
}

} // namespace larkspire
