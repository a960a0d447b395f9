#include "net/page_transfer.h"

#include "core/plain_text.h"
#include "net/browser_identity.h"
#include "net/kept_cookies.h"

#include <QHttp2Configuration>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QSslCipher>
#include <QNetworkProxyFactory>
#include <QNetworkReply>

namespace larkspire {

namespace {

QNetworkProxy proxyFor(const QNetworkAccessManager* manager, const QUrl& url)
{
    if (manager->proxy().type() != QNetworkProxy::DefaultProxy)
        return manager->proxy();
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    return proxies.isEmpty() ? QNetworkProxy(QNetworkProxy::NoProxy) : proxies.first();
}

} // namespace

QString shownUrl(const QUrl& url)
{
    QString text = QString::fromLatin1(url.toEncoded(QUrl::RemoveUserInfo));
    if (text.isEmpty())
        text = QStringLiteral("(no address)");
    if (text.size() > 200)
        text = text.left(200) + QStringLiteral("...");
    return text;
}

QString shownUrl(const QUrl& url, const QStringList& secretQueryItems)
{
    QByteArray text = url.toEncoded(QUrl::RemoveUserInfo);
    for (const QString& name : secretQueryItems) {
        for (const char* before : {"?", "&"}) {
            const QByteArray key = before + name.toLatin1() + '=';
            const qsizetype at = text.indexOf(key);
            if (at < 0)
                continue;
            const qsizetype end = text.indexOf('&', at + key.size());
            text.replace(at + key.size(), (end < 0 ? text.size() : end) - at - key.size(), "...");
        }
    }
    return shownUrl(QUrl::fromEncoded(text));
}

QString proxyDescription(const QNetworkAccessManager* manager, const QUrl& url)
{
    const QNetworkProxy proxy = proxyFor(manager, url);
    if (proxy.type() == QNetworkProxy::NoProxy || proxy.type() == QNetworkProxy::DefaultProxy)
        return QStringLiteral("none");
    return proxy.hostName() + QLatin1Char(':') + QString::number(proxy.port());
}

QString httpStatusPhrase(int status)
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
    for (const auto& [code, phrase] : phrases)
        if (code == status)
            return QString::fromLatin1(phrase);
    return QStringLiteral("HTTP error");
}

FetchFailure failureOfStatus(int status)
{
    if (status == 404 || status == 410)
        return FetchFailure::NotFound;
    if (status == 403 || status == 429 || status == 503)
        return FetchFailure::Refused;
    if (status >= 500)
        return FetchFailure::ServerError;
    return status >= 400 ? FetchFailure::HttpError : FetchFailure::None;
}

QString describeHttpStatus(int status)
{
    return httpStatusPhrase(status) + QStringLiteral(" (HTTP ") + QString::number(status) + QLatin1Char(')');
}

PageTransfer::PageTransfer(QNetworkAccessManager* manager, const HttpLimits& limits, const QUrl& url, const QUrl& origin,
                       std::optional<QByteArray> formBody, Options options, std::function<void()> done,
                       QObject* parent)
: QObject(parent), m_manager(manager), m_limits(limits), m_options(std::move(options)), m_at(url),
  m_origin(origin), m_body(std::move(formBody)), m_done(std::move(done)), m_bytes(std::move(m_options.buffer))
{
    m_total.setSingleShot(true);
    connect(&m_total, &QTimer::timeout, this, [this] { stop(Ending::TimedOut); });
    m_total.start(m_limits.totalMs);
    send();
}
void PageTransfer::cancel()
{
    m_done = nullptr;
    stop(Ending::Aborted);
}


void PageTransfer::send()
{
    QNetworkRequest request(m_at);
    for (const auto& [name, value] :
         pageRequestHeaders(m_options.userAgent, m_options.acceptLanguage,
                            {m_at, m_options.formPage, bool(m_body),
                             m_options.rules ? m_options.rules->pageFetching(m_origin) : QUrl()}))
        request.setRawHeader(name, value);
    if (m_at.scheme() == QStringLiteral("https"))
        request.setSslConfiguration(m_options.tls);
    // HTTP/2 as Chrome opens it: no server push, a 6 MB stream window and a
    // 15 MB connection window.
    QHttp2Configuration http2;
    http2.setServerPushEnabled(false);
    http2.setStreamReceiveWindowSize(6 * 1024 * 1024);
    http2.setSessionReceiveWindowSize(15 * 1024 * 1024);
    request.setHttp2Configuration(http2);
    request.setTransferTimeout(m_limits.stallMs);
    // A page as Chrome's navigation asks it over HTTP/2 (weight 256); data
    // as its scripts' fetches do.
    const bool data = m_options.rules && m_options.rules->pageFetching(m_origin).isValid();
    request.setPriority(data ? QNetworkRequest::NormalPriority : QNetworkRequest::HighPriority);
    // Every redirect is looked at here before anything is sent to it.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    m_reply = m_body ? m_manager->post(request, *m_body) : m_manager->get(request);
    trace((m_body ? QStringLiteral("POST ") : QStringLiteral("GET ")) + shownUrl(m_at, secrets()) + QStringLiteral(" (proxy: ") +
          proxyDescription(m_manager, m_at) + QLatin1Char(')'));
    if (m_options.trace) {
        const QStringList cookies = cookieNamesFor(m_manager->cookieJar(), m_at);
        trace(QStringLiteral("cookies sent: ") +
              (cookies.isEmpty() ? QStringLiteral("none") : cookies.join(QStringLiteral(", "))));
    }
    m_received = 0;
    m_bytes.resize(0); // the memory stays for this body
    m_inflating = false;
    // The body is taken as it arrives into one buffer of our own, so that
    // the reply does not keep a chain of small pieces to join at the end.
    connect(m_reply, &QNetworkReply::readyRead, this, [this] { takeArrived(m_reply); });
    connect(m_reply, &QNetworkReply::downloadProgress, this, [this](qint64 bytes, qint64 total) {
        m_received = bytes;
        if (bytes > m_limits.maxBodyBytes || total > m_limits.maxBodyBytes)
            stop(Ending::TooLarge);
    });
    connect(m_reply, &QNetworkReply::finished, this, &PageTransfer::answered);
}

void PageTransfer::stop(Ending why)
{
    if (m_ending == Ending::Finished)
        m_ending = why;
    if (m_reply && !m_reply->isFinished())
        m_reply->abort(); // answered() follows
    else if (!m_reply)
        finish();
}

void PageTransfer::answered()
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
    if (m_options.trace && result.status > 0)
        trace(QStringLiteral("connection: ") + connectionOf(reply));
    auto fail = [&result](FetchFailure kind, const QString& description) {
        result.failure = kind;
        result.error = description;
    };
    if (m_ending == Ending::TimedOut || error == QNetworkReply::TimeoutError ||
        (error == QNetworkReply::OperationCanceledError && m_ending == Ending::Finished)) {
        // The transfer timeout of Qt ends a stalled request as cancelled.
        fail(FetchFailure::TimedOut, QStringLiteral("Operation timed out"));
    } else if (m_ending == Ending::Undecodable) {
        fail(FetchFailure::Damaged, QStringLiteral("The page's compressed data is damaged or unpacks to more than the "
                                                   "client allows"));
    } else if (m_ending == Ending::TooLarge) {
        fail(FetchFailure::TooLarge, QStringLiteral("The page is larger than %1 MB").arg(m_limits.maxBodyBytes >> 20));
    } else if (m_ending == Ending::Aborted) {
        fail(FetchFailure::Cancelled, QStringLiteral("Operation cancelled"));
    } else if (result.status >= 300 && result.status < 400 && redirect.isValid()) {
        if (follow(reply->url().resolved(redirect)))
            return;
    } else if (result.status >= 400) {
        fail(failureOfStatus(result.status), describeHttpStatus(result.status));
    } else if (error == QNetworkReply::ConnectionRefusedError) {
        fail(FetchFailure::Unreachable, QStringLiteral("Connection refused"));
    } else if (error == QNetworkReply::HostNotFoundError) {
        fail(FetchFailure::Unreachable, QStringLiteral("Host ") + reply->url().host() + QStringLiteral(" not found"));
    } else if (error == QNetworkReply::RemoteHostClosedError) {
        fail(FetchFailure::Damaged, QStringLiteral("The connection was closed before the whole page arrived"));
    } else if (error != QNetworkReply::NoError) {
        // Qt's own words for what it could not do: a proxy, a TLS handshake,
        // a network that is down.
        fail(FetchFailure::Unreachable, reply->errorString());
    } else {
        takeArrived(reply);
        const QByteArray& bytes = m_bytes;
        // A connection that ends early can look like a finished answer:
        // the length the server announced decides.
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        const bool encoded = !reply->rawHeader("Content-Encoding").isEmpty();
        const qint64 arrived = encoded ? m_received : bytes.size();
        if (m_ending == Ending::Undecodable || (m_inflating && !m_inflater.complete())) {
            fail(FetchFailure::Damaged, QStringLiteral("The page's compressed data is damaged or unpacks to more than "
                                                       "the client allows"));
        } else if (announced.isValid() && arrived < announced.toLongLong()) {
            fail(FetchFailure::Damaged, QStringLiteral("The connection was closed before the whole page arrived"));
        } else {
            result.ok = true;
            const QByteArray type = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
            outcome.page.contentType = type;
            trace(QStringLiteral("answer: HTTP %1, %2 bytes").arg(result.status).arg(bytes.size()) +
                  (encoded ? QStringLiteral(" (%1 on the wire, ").arg(m_received) +
                                 withoutControlCharacters(QString::fromLatin1(reply->rawHeader("Content-Encoding"))) +
                                 QLatin1Char(')')
                           : QString()) +
                  QStringLiteral(", ") +
                  (type.isEmpty() ? QStringLiteral("no content type")
                                  : withoutControlCharacters(QString::fromLatin1(type))));
        }
    }
    finish();
}

bool PageTransfer::follow(const QUrl& target)
{
    QString& error = outcome.result.error;
    outcome.result.failure = FetchFailure::RedirectRefused;
    if (++m_hops > m_limits.maxRedirects) {
        error = QStringLiteral("Too many redirects");
    } else if (m_at.scheme() == QStringLiteral("https") && target.scheme() != QStringLiteral("https")) {
        error = QStringLiteral("Redirected from a secure address to an insecure one");
    } else if (!(m_options.rules ? *m_options.rules : ServiceRules()).mayGo(target, m_origin, m_at)) {
        error = QStringLiteral("The quote service redirected the request outside the quote service, to ") +
                shownUrl(target, secrets());
    } else if (bypassesProxy(target)) {
        error = QStringLiteral("The quote service redirected the request to an address the proxy settings "
                               "would reach without the proxy: ") +
                shownUrl(target, secrets());
    } else {
        // 307 and 308 repeat a post; the others ask for the new page.
        if (outcome.result.status != 307 && outcome.result.status != 308)
            m_body.reset();
        outcome.result.failure = FetchFailure::None;
        trace(QStringLiteral("redirect: HTTP %1 to ").arg(outcome.result.status) + shownUrl(target, secrets()));
        m_at = target;
        outcome.redirects = m_hops;
        send();
        return true;
    }
    return false;
}

bool PageTransfer::bypassesProxy(const QUrl& target) const
{
    return proxyFor(m_manager, m_at).type() != QNetworkProxy::NoProxy &&
           proxyFor(m_manager, target).type() == QNetworkProxy::NoProxy;
}

void PageTransfer::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (!outcome.result.ok)
        m_bytes.resize(0);
    outcome.page.bytes = std::exchange(m_bytes, QByteArray());
    m_total.stop();
    if (auto done = std::exchange(m_done, nullptr))
        done();
}

void PageTransfer::takeArrived(QNetworkReply* reply)
{
    if (!reply || reply->bytesAvailable() <= 0)
        return;
    // Damaged or too large once unpacked: ended now, or, when the answer is
    // in already, failed by answered().
    auto undecodable = [this] {
        if (m_reply)
            stop(Ending::Undecodable);
        else if (m_ending == Ending::Finished)
            m_ending = Ending::Undecodable;
    };
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300) {
        reply->skip(reply->bytesAvailable()); // only a page is read; a redirect's or an error's body is not
        return;
    }
    if (!m_inflating) {
        m_inflating = true;
        const QByteArray encoding = reply->rawHeader("Content-Encoding");
        if (!m_inflater.start(encoding))
            return undecodable();
        // Sized once from the announced length when the body is sent as it
        // is; an unpacked one grows geometrically (and only for a page
        // larger than the last).
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
        if (m_inflater.complete() && announced > m_bytes.capacity())
            m_bytes.reserve(qsizetype(std::min(announced, m_limits.maxBodyBytes)));
    }
    if (m_inflater.passesThrough()) {
        // As it is: straight into the buffer.
        const qint64 available = reply->bytesAvailable();
        const qsizetype at = m_bytes.size();
        m_bytes.resize(at + qsizetype(available));
        const qint64 read = reply->read(m_bytes.data() + at, available);
        m_bytes.resize(at + qsizetype(std::max<qint64>(read, 0)));
        return;
    }
    char piece[64 * 1024];
    for (qint64 read; (read = reply->read(piece, sizeof piece)) > 0;) {
        const BodyInflater::Result r = m_inflater.feed(QByteArrayView(piece, read), m_bytes, m_limits.maxBodyBytes);
        if (r != BodyInflater::Result::Ok)
            return undecodable();
    }
}

QString PageTransfer::connectionOf(const QNetworkReply* reply)
{
    const QString http = reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool()
                             ? QStringLiteral("HTTP/2")
                             : QStringLiteral("HTTP/1.1");
    if (reply->url().scheme() != QStringLiteral("https"))
        return QStringLiteral("plain (no TLS), ") + http;
    const QSslConfiguration tls = reply->sslConfiguration();
    const QSslCipher cipher = tls.sessionCipher();
    QString version;
    switch (tls.sessionProtocol()) {
    case QSsl::TlsV1_3: version = QStringLiteral("TLS 1.3"); break;
    case QSsl::TlsV1_2: version = QStringLiteral("TLS 1.2"); break;
    default: version = QStringLiteral("TLS (version unknown)"); break;
    }
    return version + QStringLiteral(", ") + (cipher.isNull() ? QStringLiteral("no cipher") : cipher.name()) +
           QStringLiteral(", ") + http;
}

void PageTransfer::trace(const QString& line) const
{
    if (m_options.trace)
        m_options.trace(line);
}

} // namespace larkspire
