#pragma once
// The HTTP client the retrieval run fetches quote pages with: one GET, the
// whole body as text when it finished, or a failure with a description a
// user understands. The caller waits; the window keeps running meanwhile.
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;

namespace larkspire {

struct HttpResult {
    bool ok = false;
    QString body;        // the decoded body when ok
    QString error;       // the description when not ok
    int status = 0;      // the HTTP status, when one came
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResult get(const QUrl& url) = 0;
    // Ends the request under way at once (the window is going away).
    virtual void abort() = 0;
};

struct HttpLimits {
    int stallMs = 30'000;          // no byte moved for this long: timed out
    int totalMs = 60'000;          // the whole request, redirects included
    qint64 maxBodyBytes = 32LL << 20;
    int maxRedirects = 10;
};

// Qt Network: connections kept alive between requests, redirects followed
// (never from https down to http), HSTS honoured, gzip accepted, proxies from
// http_proxy / https_proxy / no_proxy when asked, and a browser's User-Agent.
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
    HttpLimits m_limits;
    QNetworkAccessManager* m_manager;
};

// A body's bytes as text, by the charset of its Content-Type (UTF-8 when
// none is given or it is unknown).
QString decodeBody(const QByteArray& body, const QByteArray& contentType);

// "Too Many Requests (HTTP 429)".
QString describeHttpStatus(int status, const QString& reason);

inline const QByteArray kBrowserUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/124.0.0.0 Safari/537.36";

} // namespace larkspire
