#include "net/qt_http_client.h"

#include "net/qt_http_client_job.h"

#include "core/text_decoding.h"
#include "net/browser_identity.h"
#include "net/tls_hello.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace larkspire {

namespace {

const QString kAskedAgain = QStringLiteral("The quote service asked for cookie consent again after it was declined");

HttpResult failure(FetchFailure kind, const QString& error)
{
    HttpResult r;
    r.failure = kind;
    r.error = error;
    return r;
}

} // namespace


QtHttpClient::QtHttpClient(HttpLimits limits, bool useSystemProxy, QObject* parent)
    : QObject(parent), m_limits(limits), m_manager(new QNetworkAccessManager(this)), m_pacing(limits),
      m_userAgent(chromeUserAgent(chromeMajorVersionOn(QDate::currentDate()))),
      m_acceptLanguage(acceptLanguageFor(QLocale::system())), m_tls(browserTls().configuration)
{
    m_manager->setStrictTransportSecurityEnabled(true);
    shapeTlsHelloLikeChrome();
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
    if (m_keptCookies)
        m_keptCookies->save();
}

HttpResult QtHttpClient::get(const QUrl& url)
{
    if (!m_tlsError.isEmpty())
        return failure(FetchFailure::Unusable, m_tlsError);
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
    if (result.ok) {
        // Decoded now, not when it came: pages fetched ahead wait as bytes.
        result.body = m_buffers.text();
        decodeBodyInto(result.body, job.page.bytes, job.page.contentType);
    }
    m_buffers.giveBack(std::move(job.page.bytes));
    m_jobs.erase(std::find_if(m_jobs.begin(), m_jobs.end(), [&](const auto& j) { return j.get() == &job; }));
    pump();
    if (m_jobs.empty() && m_keptCookies) // the run's last page: what the service set is kept
        m_keptCookies->save();
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
        job->result = failure(FetchFailure::Cancelled, QStringLiteral("Operation cancelled"));
        job->state = Job::State::Done;
        if (job->loop)
            job->loop->quit();
    }
    // Pages someone waits for leave when their get() returns.
    m_jobs.erase(std::remove_if(m_jobs.begin(), m_jobs.end(), [](const auto& j) { return !j->loop; }), m_jobs.end());
    m_pacing.declineDropped();
}

void QtHttpClient::newRun()
{
    m_pacing.newRun();
    // The hop an earlier run learned, or none: learned from this run's first answer.
    m_shape.reset();
    m_shapeIsPageAddress = false;
    if (m_kept) {
        m_shape = LearnedAddress{m_kept->before, m_kept->after};
        m_shapeIsPageAddress = m_kept->pageAddress;
    }
    m_shapeKept = m_shape.has_value();
    m_shapeDropped = false;
    m_learning = !m_shape && !m_answersDirectly;
}

QString QtHttpClient::setTlsCiphers(const QString& ciphers, const QString& givenBy)
{
    TlsChoice choice = browserTls(ciphers);
    m_tlsError.clear();
    // Connections already made keep the handshake they were made with.
    m_manager->clearConnectionCache();
    if (choice.error.isEmpty())
        m_tls = std::move(choice.configuration);
    else
        m_tlsError = givenBy + QStringLiteral(" cannot be used: ") + choice.error +
                     QStringLiteral(". No page is asked for with a handshake nobody chose: name cipher suites this "
                                    "computer knows, or leave it out for the program's own.");
    return m_tlsError;
}

QString QtHttpClient::setupError() const { return m_tlsError; }

void QtHttpClient::keepCookiesIn(const QString& file)
{
    m_keptCookies = new KeptCookieJar(file, m_rules.cookieDomain);
    m_manager->setCookieJar(m_keptCookies); // the manager owns it
    m_kept = m_keptCookies->keptAddress();
    m_token = m_keptCookies->keptToken();
}

bool QtHttpClient::holdsCookiesFor(const QUrl& url) const
{
    const QNetworkCookieJar* jar = m_manager->cookieJar();
    return jar && !jar->cookiesForUrl(url).isEmpty();
}

void QtHttpClient::keepToken(const KeptToken& token)
{
    m_token = token;
    if (m_keptCookies)
        m_keptCookies->keepToken(token);
}

bool QtHttpClient::setUserAgent(const QString& userAgent)
{
    const QString text = userAgent.trimmed();
    if (text.isEmpty() || text.size() > 512 ||
        std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() > 0x7E; }))
        return false;
    m_userAgent = text.toLatin1();
    return true;
}

void QtHttpClient::drop(Job& job)
{
    if (job.transfer) {
        job.transfer->cancel();
        job.transfer->deleteLater();
        job.transfer = nullptr;
    }
    if (job.declining)
        m_pacing.declineDropped();
    job.declining = false;
    job.timer.reset();
}

void QtHttpClient::pump()
{
    int busy = 0;
    bool running = false;
    for (const auto& job : m_jobs) {
        busy += job->state != Job::State::Queued; // on its way, waiting, or an answer held
        running = running || job->state == Job::State::Running || job->state == Job::State::Waiting;
    }
    for (auto& job : m_jobs) {
        if (job->state != Job::State::Queued)
            continue;
        const bool first = job.get() == m_jobs.front().get();
        // Until the first answer says where the hop leads, one page goes
        // alone: the others would each pay the hop on a connection of their own.
        if (!m_pacing.mayStart(busy, first && !running) || (m_learning && running))
            break;
        start(*job);
        ++busy;
        running = true;
    }
}

PageTransfer* QtHttpClient::transfer(Job& job, const QUrl& url, std::optional<QByteArray> form, const QUrl& formPage)
{
    return new PageTransfer(m_manager, m_limits, url, job.url, std::move(form),
                            {m_userAgent, m_acceptLanguage, m_tls, formPage, trace, m_buffers.bytes(), &m_rules},
                            [this, &job] { finished(job); },
                            this);
}

void QtHttpClient::start(Job& job)
{
    job.state = Job::State::Running;
    job.sentInRound = m_pacing.consentRound();
    job.direct = m_shape && job.pastHop && !job.pageAddress.isValid() && m_rules.learnsHops()
                     ? m_rules.applyAddress(*m_shape, job.url)
                     : QUrl();
    // An address made from the shape goes only where a redirect may go.
    if (job.direct.isValid() && !m_rules.mayGo(job.direct, job.url, job.url))
        job.direct = QUrl();
    job.triedPageAddress = job.triedPageAddress || job.direct.isValid();
    const QUrl& to = job.pageAddress.isValid() ? job.pageAddress : job.direct.isValid() ? job.direct : job.url;
    job.transfer = transfer(job, to, std::nullopt, QUrl());
}

void QtHttpClient::finished(Job& job)
{
    PageTransfer* done = std::exchange(job.transfer, nullptr);
    PageTransfer::Outcome outcome = std::move(done->outcome);
    done->deleteLater();
    outcome.result.url = outcome.finalUrl;
    m_buffers.giveBack(std::exchange(job.page, std::move(outcome.page)).bytes);
    const HttpResult& r = outcome.result;
    if (job.declining) {
        // The answer to the declined consent form.
        job.declining = false;
        const bool formAgain = r.ok && isConsentBody(job.page, m_rules);
        m_pacing.declineAnswered(r.ok, !formAgain);
        if (formAgain) {
            note(QStringLiteral("consent form: met again after the decline"));
            if (!backToQuoteUrl(job))
                settle(job, failure(FetchFailure::Consent, kAskedAgain));
        } else if (!r.ok || outcome.redirects > 0) { // failed, or led back to the quote page
            settle(job, r);
        } else { // answered in place: ask for the page again, cookies now held
            job.state = Job::State::Queued;
            job.askedAgain = true;
        }
        pump();
        return;
    }
    if (!hopLearnt(job, outcome))
        return;
    if (r.failure == FetchFailure::Refused && r.status != 403) {
        // A data request waits once; a page as often as the pacing allows.
        const bool data = m_rules.pageFetching(job.url).isValid();
        const qint64 wait =
            m_pacing.slowDown(outcome.retryAfter, data && job.retries > 0 ? m_limits.maxRetries : job.retries);
        if (wait >= 0) {
            ++job.retries;
            note(QStringLiteral("the service asked to slow down: waiting %1 s").arg((wait + 999) / 1000));
            retryLater(job);
            job.timer->start(int(wait));
            if (&job == m_waiting && waitReport)
                waitReport(int((wait + 999) / 1000));
            pump();
            return;
        }
        if (const qint64 asked = m_pacing.askedTooLongMs(); asked > 0) {
            note(QStringLiteral("the service asked to wait %1 s: not waited").arg((asked + 999) / 1000));
            HttpResult refused = r;
            refused.askedWaitSeconds = int(std::min<qint64>((asked + 999) / 1000, 24 * 3600));
            settle(job, std::move(refused));
            return;
        }
    }
    if (r.ok && isConsentBody(job.page, m_rules)) {
        consentMet(job, outcome.finalUrl, textOf(job.page));
        return;
    }
    if (r.ok)
        m_pacing.answeredFine();
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
    switch (m_pacing.consentMet(job.sentInRound, job.askedAgain)) {
    case FetchPacing::Consent::WaitForDecline: // sent again once the decline is in
        job.state = Job::State::Queued;
        return;
    case FetchPacing::Consent::AskAgain: // sent before the decline: again, with its cookie
        note(QStringLiteral("consent form: met by a request sent before the decline; asked again"));
        job.askedAgain = true;
        job.state = Job::State::Queued;
        pump();
        return;
    case FetchPacing::Consent::Fail:
        note(QStringLiteral("consent form: met again after the decline"));
        if (!backToQuoteUrl(job))
            settle(job, failure(FetchFailure::Consent, kAskedAgain));
        return;
    case FetchPacing::Consent::Decline:
        break;
    }
    // Decline it, and take the page the service leads back to as the
    // answer. The cookies it sets stay in the manager's jar.
    const auto decline = m_rules.declineConsent(page); // only met when the rules tell the form
    const QUrl action = !decline ? QUrl()
                        : decline->action.isEmpty() ? pageUrl
                                                    : pageUrl.resolved(QUrl(decline->action));
    if (!decline || !(action.scheme() == QStringLiteral("http") || action.scheme() == QStringLiteral("https"))) {
        settle(job, failure(FetchFailure::Consent,
                            QStringLiteral("The quote service asked for cookie consent with a form that cannot be "
                                           "declined")));
        return;
    }
    if (!m_rules.mayGo(action, job.url, pageUrl)) {
        settle(job, failure(FetchFailure::RedirectRefused,
                            QStringLiteral("The quote service's consent form would send the answer outside the "
                                           "quote service, to ") +
                            shownUrl(action)));
        return;
    }
    note(QStringLiteral("consent form: met, declined"));
    job.declining = true;
    m_pacing.declineSent();
    job.state = Job::State::Running;
    job.transfer = transfer(job, action, decline->body, pageUrl);
}

void QtHttpClient::settle(Job& job, HttpResult result)
{
    job.result = std::move(result);
    job.state = Job::State::Done;
    if (job.loop)
        job.loop->quit();
    pump();
}

void QtHttpClient::note(const QString& line) const
{
    if (trace)
        trace(line);
}

} // namespace larkspire
