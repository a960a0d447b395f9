#pragma once
#include "net/fetch_pacing.h"
#include "net/http_client.h"
#include "net/kept_cookies.h"
#include "net/page_transfer.h"
#include "net/service_rules.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>

#include <deque>
#include <memory>

class QNetworkAccessManager;

namespace larkspire {

// Qt Network: connections kept alive between requests, redirects followed
// only where the service's rules allow (never from https down to http), HSTS
// honoured, gzip, deflate, br and zstd accepted (unpacked by the client into
// memory it keeps from page to page), proxies from http_proxy / https_proxy / no_proxy
// when asked. It asks as the Chrome of the day does (browser_identity.h):
// Chrome's TLS handshake, headers and a User-Agent whose version follows the
// calendar, unless the user names another identification or cipher list.
//
// A polite client (FetchPacing decides): a few requests in flight when
// fetching ahead, more while the service answers well, fewer the moment it
// says "slow down" (429, 503), which is waited out as it asks, up to a few
// times for each page. Answers are handed out strictly as asked.
//
// What it knows of the service it asks, its caller tells it (ServiceRules).
// The service's redirect hop (the URL of a key answered with a redirect to a
// page that names the key) is learned from the first page
// of a run, which goes alone; later symbols are asked there directly, and at
// the quote URL again should that fail for one of them. Like a browser's
// memory of a permanent redirect, the address is kept for the next runs (in
// the file with the cookies, when there is one) and used from their first
// request; a kept one that fails is forgotten and learned again at once. A quote URL that answers 404 is
// asked once more at the page's own address ("/quote/SYMBOL/"); when that
// gives the quote, the rest of the run goes there directly.
//
// The service's cookie consent form is declined on the user's behalf, once
// a run: requests that meet the form while the answer is on its way, or that
// were sent before it, are sent again afterwards with its cookies; a form met
// again after that fails its page and every later one at once. The cookies
// are kept in memory, and those that outlive a session in a file when the
// client is told one (kept_cookies.h).
class QtHttpClient final : public QObject, public HttpClient {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtHttpClient)
public:
    explicit QtHttpClient(HttpLimits limits = {}, bool useSystemProxy = true, QObject* parent = nullptr);
    ~QtHttpClient() override;
    HttpResult get(const QUrl& url) override;
    void fetchAhead(const QList<QUrl>& next) override;
    int aheadLimit() const override { return m_pacing.ceiling(); }
    void abort() override;
    void newRun() override;
    // Requests going at once now (fewer than the limit after a 429).
    int inFlightLimit() const { return m_pacing.inFlightLimit(); }
    // The browser identification sent with every request (the default
    // unless the user names another); refused when it holds control characters.
    bool setUserAgent(const QString& userAgent);
    // The TLS cipher suites offered instead of Chrome's (OpenSSL's names,
    // separated by ":"), given by the setting or option named in `givenBy`.
    // When they cannot be used, the message saying so (naming `givenBy`),
    // and the client refuses to fetch until a usable list is given.
    QString setTlsCiphers(const QString& ciphers, const QString& givenBy);
    QString setupError() const override;
    void recycle(QString text) override { m_buffers.giveBack(std::move(text)); }
    // The rules of the service asked; given before keepCookiesIn.
    void setServiceRules(ServiceRules rules) { m_rules = std::move(rules); }
    // Keeps the service's lasting cookies in `file` between runs.
    void keepCookiesIn(const QString& file);
    bool holdsCookiesFor(const QUrl& url) const override;
    KeptToken keptToken() const override { return m_token; }
    void keepToken(const KeptToken& token) override;

private:
    struct Job;

    void pump();
    void start(Job& job);
    void finished(Job& job);
    void consentMet(Job& job, const QUrl& pageUrl, const QString& page);
    void retryLater(Job& job);
    void settle(Job& job, HttpResult result);
    void drop(Job& job);
    PageTransfer* transfer(Job& job, const QUrl& url, std::optional<QByteArray> form, const QUrl& formPage);
    void note(const QString& line) const;
    // Learns the service's redirect hop from a quote URL's answer, or, for
    // a page asked past it that went wrong, drops it and asks again at the
    // quote URL (then false: the page is not settled yet).
    bool hopLearnt(Job& job, PageTransfer::Outcome& outcome);
    // A page asked past the learned hop that went wrong: the hop is dropped
    // for the run and the page asked again at the quote URL. False when the
    // page was not asked past the hop.
    bool backToQuoteUrl(Job& job);
    // The shape learned this run, kept for the next ones.
    void keepShape();

    HttpLimits m_limits;
    ServiceRules m_rules;
    PageBuffers m_buffers;
    QNetworkAccessManager* m_manager;
    std::deque<std::unique_ptr<Job>> m_jobs; // in the order they are asked for
    Job* m_waiting = nullptr;                // the page get() waits for
    FetchPacing m_pacing;
    QByteArray m_userAgent;
    QByteArray m_acceptLanguage;
    QSslConfiguration m_tls;
    QString m_tlsError;
    KeptCookieJar* m_keptCookies = nullptr;
    KeptToken m_token;
    std::optional<LearnedAddress> m_shape; // where the hop leads, learned this run
    bool m_shapeIsPageAddress = false;    // learned from the page's own address after a 404
    bool m_shapeKept = false;             // remembered from an earlier run
    std::optional<KeptCookieJar::Address> m_kept; // the address kept for the next runs
    bool m_answersDirectly = false;       // a quote URL gave its page without a hop
    bool m_learning = false;              // no shape yet: one request at a time until the first answer
    bool m_shapeDropped = false;          // it failed once this run: not learned again
};

} // namespace larkspire
