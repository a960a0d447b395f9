#pragma once
#include "platform/http_client.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>

#include <deque>
#include <memory>

class QNetworkAccessManager;

namespace larkspire {

struct HttpLimits {
    int stallMs = 30'000;          // no byte moved for this long: timed out
    int totalMs = 60'000;          // one request, its redirects included
    qint64 maxBodyBytes = 32LL << 20;
    int maxRedirects = 10;
    int maxInFlight = 4;           // requests on their way at once (never more than 6)
    int maxRetries = 3;            // for each page the service asked to wait for (429, 503)
    int maxRetryWaitMs = 60'000;   // the longest wait a Retry-After may ask for
    int firstRetryWaitMs = 2'000;  // without Retry-After: this, then twice, then four times it
    int growBackAfter = 8;         // successes after a 429 before one more request goes at once
};

// Qt Network: connections kept alive between requests, redirects followed
// only within the quote service (never from https down to http), HSTS
// honoured, gzip accepted, proxies from http_proxy / https_proxy / no_proxy
// when asked, and a browser's User-Agent.
//
// A polite client: a few requests in flight when fetching ahead, answers
// handed out strictly as asked. "Slow down" (429, 503) is waited out as the
// service says, up to a few times for each page, and after a 429 only one
// request goes at a time until a stretch of answers came back fine.
//
// The service's cookie consent form is declined on the user's behalf, once
// a run: requests that meet the form while the answer is on its way, or that
// were sent before it, are sent again afterwards with its cookies; a form
// met again after that fails its page and every later one at once. Its cookies are kept in memory for the life of the
// client, never on disk.
class QtHttpClient final : public QObject, public HttpClient {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtHttpClient)
public:
    explicit QtHttpClient(HttpLimits limits = {}, bool useSystemProxy = true, QObject* parent = nullptr);
    ~QtHttpClient() override;
    HttpResult get(const QUrl& url) override;
    void fetchAhead(const QList<QUrl>& next) override;
    int aheadLimit() const override { return m_maxInFlight; }
    void abort() override;
    void newRun() override;
    // Requests going at once now (fewer than the limit after a 429).
    int inFlightLimit() const { return m_inFlightLimit; }

private:
    struct Job;
    class Transfer;

    void pump();
    void start(Job& job);
    void finished(Job& job);
    void consentMet(Job& job, const QUrl& pageUrl, const QString& page);
    void retryLater(Job& job);
    void settle(Job& job, HttpResult result);
    void drop(Job& job);

    HttpLimits m_limits;
    QNetworkAccessManager* m_manager;
    std::deque<std::unique_ptr<Job>> m_jobs; // in the order they are asked for
    Job* m_waiting = nullptr;                // the page get() waits for
    // The consent form in this run: not met, the answer on its way,
    // declined, or met again after the decline (then never answered again).
    enum class Consent { NotMet, Declining, Declined, DidNotStick } m_consent = Consent::NotMet;
    int m_consentRound = 0;                  // declines completed
    int m_maxInFlight;
    int m_inFlightLimit;
    int m_successes = 0;
};

// "Too Many Requests (HTTP 429)", in our own words whatever the server said.
QString describeHttpStatus(int status);

// How long a Retry-After value asks to wait (seconds or an HTTP date), in
// milliseconds, not above `cap` (a number of any size is at most `cap`);
// -1 when it says nothing usable.
qint64 retryAfterMs(const QByteArray& value, const QDateTime& now, qint64 cap);

inline const QByteArray kBrowserUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 Safari/537.36";

} // namespace larkspire
