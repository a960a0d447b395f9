#pragma once
#include "platform/http_client.h"

#include <QDeadlineTimer>
#include <QObject>

class QNetworkAccessManager;

namespace larkspire {

struct HttpLimits {
    int stallMs = 30'000;          // no byte moved for this long: timed out
    int totalMs = 60'000;          // the whole request, redirects included
    qint64 maxBodyBytes = 32LL << 20;
    int maxRedirects = 10;
};

// Qt Network: connections kept alive between requests, redirects followed
// only within the quote service (never from https down to http), HSTS honoured, gzip accepted, proxies from
// http_proxy / https_proxy / no_proxy when asked, and a browser's User-Agent.
// The service's cookie consent form is declined on the user's behalf; its
// cookies are kept in memory for the life of the client, never on disk.
class QtHttpClient final : public QObject, public HttpClient {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtHttpClient)
public:
    explicit QtHttpClient(HttpLimits limits = {}, bool useSystemProxy = true, QObject* parent = nullptr);
    ~QtHttpClient() override;
    HttpResult get(const QUrl& url) override;
    void abort() override;

signals:
    void abortRequested();

private:
    struct Exchange {
        HttpResult result;
        QUrl finalUrl;   // where the redirects ended
        QUrl redirectTo; // a redirect not yet followed (as the server wrote it)
    };
    // One request (a GET, or a form POST when a body is given), redirects
    // followed, bounded by the limits and the deadline.
    // Redirects are followed only to hosts of the quote service that
    // `origin` belongs to.
    Exchange exchange(const QUrl& url, const QUrl& origin, const QByteArray* formBody, const QDeadlineTimer& deadline);
    // One request and its answer, no redirect followed.
    Exchange single(const QUrl& url, const QByteArray* formBody, const QDeadlineTimer& deadline);

    HttpLimits m_limits;
    QNetworkAccessManager* m_manager;
};

// "Too Many Requests (HTTP 429)".
QString describeHttpStatus(int status, const QString& reason);

inline const QByteArray kBrowserUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 Safari/537.36";

} // namespace larkspire
