#include "platform/qt_http_client.h"

#include "core/text_decoding.h"
#include "quotes/consent_form.h"
#include "quotes/quote_url.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

namespace larkspire {

namespace {
QString hostAndPort(const QUrl& url)
{
    return url.port() < 0 ? url.host() : url.host() + QLatin1Char(':') + QString::number(url.port());
}
} // namespace

QString describeHttpStatus(int status, const QString& reason)
{
    static const std::pair<int, const char*> phrases[] = {
        {400, "Bad Request"},  {401, "Unauthorized"},        {403, "Forbidden"},           {404, "Not Found"},
        {408, "Request Timeout"}, {410, "Gone"},             {429, "Too Many Requests"},   {500, "Internal Server Error"},
        {502, "Bad Gateway"},  {503, "Service Unavailable"}, {504, "Gateway Timeout"},
    };
    QString text = reason.trimmed();
    if (text.isEmpty())
        for (const auto& [code, phrase] : phrases)
            if (code == status)
                text = QString::fromLatin1(phrase);
    if (text.isEmpty())
        text = QStringLiteral("HTTP error");
    return text + QStringLiteral(" (HTTP ") + QString::number(status) + QLatin1Char(')');
}

QtHttpClient::QtHttpClient(HttpLimits limits, bool useSystemProxy, QObject* parent)
    : QObject(parent), m_limits(limits), m_manager(new QNetworkAccessManager(this))
{
    m_manager->setStrictTransportSecurityEnabled(true);
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    if (useSystemProxy) {
        // On Linux this reads http_proxy, https_proxy and no_proxy.
        QNetworkProxyFactory::setUseSystemConfiguration(true);
    } else {
        m_manager->setProxy(QNetworkProxy::NoProxy);
    }
}

QtHttpClient::~QtHttpClient() = default;

void QtHttpClient::abort() { emit abortRequested(); }

HttpResult QtHttpClient::get(const QUrl& url)
{
    const QDeadlineTimer deadline(m_limits.totalMs);
    Exchange first = exchange(url, url, nullptr, deadline);
    if (!first.result.ok || !IsConsentPage(first.result.body))
        return first.result;

    // The service wants a cookie consent first: decline it, once, and take
    // the page it leads back to as the answer. The cookies it sets stay in
    // the manager's jar, so later requests are not asked again.
    HttpResult failed;
    const auto decline = DeclineConsentForm(first.result.body);
    const QUrl action = !decline ? QUrl()
                        : decline->action.isEmpty() ? first.finalUrl
                                                    : first.finalUrl.resolved(QUrl(decline->action));
    if (!decline || !(action.scheme() == QStringLiteral("http") || action.scheme() == QStringLiteral("https"))) {
        failed.error = QStringLiteral("The quote service asked for cookie consent with a form that cannot be declined");
        return failed;
    }
    if (!isQuoteServiceUrl(action, url)) {
        failed.error = QStringLiteral("The quote service's consent form would send the answer outside the quote "
                                      "service, to ") +
                       hostAndPort(action);
        return failed;
    }
    Exchange answered = exchange(action, url, &decline->body, deadline);
    if (answered.result.ok && IsConsentPage(answered.result.body)) {
        failed.error = QStringLiteral("The quote service asked for cookie consent again after it was declined");
        return failed;
    }
    return answered.result;
}

QtHttpClient::Exchange QtHttpClient::exchange(const QUrl& url, const QUrl& origin, const QByteArray* formBody,
                                              const QDeadlineTimer& deadline)
{
    // Redirects are followed here, one by one, so that each target is
    // checked before anything is sent to it.
    QUrl at = url;
    const QByteArray* body = formBody;
    for (int hops = 0;; ++hops) {
        Exchange exchanged = single(at, body, deadline);
        if (!exchanged.redirectTo.isValid())
            return exchanged;
        HttpResult& result = exchanged.result;
        const QUrl target = at.resolved(exchanged.redirectTo);
        result.ok = false;
        result.body.clear();
        if (hops >= m_limits.maxRedirects) {
            result.error = QStringLiteral("Too many redirects");
        } else if (at.scheme() == QStringLiteral("https") && target.scheme() != QStringLiteral("https")) {
            result.error = QStringLiteral("Redirected from a secure address to an insecure one");
        } else if (!isQuoteServiceUrl(target, origin)) {
            result.error =
                QStringLiteral("The quote service redirected the request outside the quote service, to ") +
                hostAndPort(target);
        } else {
            // 307 and 308 repeat a post; the others ask for the new page.
            if (result.status != 307 && result.status != 308)
                body = nullptr;
            at = target;
            continue;
        }
        return exchanged;
    }
}

QtHttpClient::Exchange QtHttpClient::single(const QUrl& url, const QByteArray* formBody, const QDeadlineTimer& deadline)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, kBrowserUserAgent);
    request.setRawHeader("Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
    request.setRawHeader("Accept-Language", "en-US,en;q=0.9");
    request.setTransferTimeout(m_limits.stallMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);

    QNetworkReply* reply = nullptr;
    if (formBody) {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        reply = m_manager->post(request, *formBody);
    } else {
        reply = m_manager->get(request);
    }
    QEventLoop loop;
    enum class Ending { Finished, TimedOut, TooLarge, Aborted } ending = Ending::Finished;
    auto stop = [&](Ending why) {
        if (ending == Ending::Finished)
            ending = why;
        reply->abort();
    };
    QTimer total;
    total.setSingleShot(true);
    connect(&total, &QTimer::timeout, &loop, [&] { stop(Ending::TimedOut); });
    connect(this, &QtHttpClient::abortRequested, &loop, [&] { stop(Ending::Aborted); });
    qint64 received = 0;
    connect(reply, &QNetworkReply::downloadProgress, &loop, [&](qint64 bytes, qint64 totalBytes) {
        received = bytes;
        if (bytes > m_limits.maxBodyBytes || totalBytes > m_limits.maxBodyBytes)
            stop(Ending::TooLarge);
    });
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    total.start(std::max<qint64>(0, deadline.remainingTime()));
    // Every event runs meanwhile: which input may act during a fetch is the
    // caller's choice (the window holds clicks and keys back).
    if (!reply->isFinished())
        loop.exec();
    total.stop();

    Exchange exchanged;
    exchanged.finalUrl = reply->url();
    HttpResult& result = exchanged.result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    if (ending == Ending::TimedOut || error == QNetworkReply::TimeoutError ||
        (error == QNetworkReply::OperationCanceledError && ending == Ending::Finished)) {
        // The transfer timeout of Qt ends a stalled request as cancelled.
        result.error = QStringLiteral("Operation timed out");
    } else if (ending == Ending::TooLarge) {
        result.error = QStringLiteral("The page is larger than %1 MB").arg(m_limits.maxBodyBytes >> 20);
    } else if (ending == Ending::Aborted) {
        result.error = QStringLiteral("Operation cancelled");
    } else if (result.status >= 300 && result.status < 400 &&
               reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl().isValid()) {
        exchanged.redirectTo = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    } else if (result.status >= 400) {
        result.error = describeHttpStatus(
            result.status, reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
    } else if (error == QNetworkReply::ConnectionRefusedError) {
        result.error = QStringLiteral("Connection refused");
    } else if (error == QNetworkReply::HostNotFoundError) {
        result.error = QStringLiteral("Host ") + url.host() + QStringLiteral(" not found");
    } else if (error == QNetworkReply::RemoteHostClosedError) {
        result.error = QStringLiteral("The connection was closed before the whole page arrived");
    } else if (error != QNetworkReply::NoError && reply->errorString().startsWith(QStringLiteral("Decompression"))) {
        result.error = QStringLiteral("The page's compressed data is damaged or unpacks to more than the client "
                                      "allows");
    } else if (error != QNetworkReply::NoError) {
        result.error = reply->errorString();
    } else {
        const QByteArray bytes = reply->readAll();
        // A connection that ends early can look like a finished answer: the
        // length the server announced decides.
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        const bool encoded = !reply->rawHeader("Content-Encoding").isEmpty();
        const qint64 arrived = encoded ? received : bytes.size();
        if (announced.isValid() && arrived < announced.toLongLong()) {
            result.error = QStringLiteral("The connection was closed before the whole page arrived");
        } else {
            result.ok = true;
            result.body = decodeBody(bytes, reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
        }
    }
    reply->deleteLater();
    return exchanged;
}

} // namespace larkspire
