#pragma once
// One request for a page and the redirects that follow it, without waiting
// for it: redirects followed only within the quote service, its ports and
// the proxy's reach (never from https down to http), bounded in time and
// size; `done` is called once, with the answer or the failure in `outcome`.
#include "net/fetch_pacing.h"
#include "net/body_inflater.h"
#include "net/http_client.h"
#include "net/page_body.h"
#include "net/service_rules.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace larkspire {

// "Too Many Requests (HTTP 429)", in our own words whatever the server said.
QString describeHttpStatus(int status);
// "Too Many Requests".
QString httpStatusPhrase(int status);

// A URL from a server as a user may read it: percent-encoded, so that it
// holds no control character, and never longer than a line.
QString shownUrl(const QUrl& url);
// The same with the values of these query items left out ("crumb=...").
QString shownUrl(const QUrl& url, const QStringList& secretQueryItems);

// The proxy a request to the URL goes through ("none" for a direct one).
QString proxyDescription(const QNetworkAccessManager* manager, const QUrl& url);

class PageTransfer final : public QObject {
    Q_DISABLE_COPY_MOVE(PageTransfer)
public:
    struct Outcome {
        HttpResult result;      // without the body's text: that is in `page`
        PageBody page;          // the body when the result is ok, else empty (its memory may be used again)
        QUrl finalUrl;          // where the redirects ended
        QByteArray retryAfter;  // the service's Retry-After, when it sent one
        int redirects = 0;      // how many were followed
    };
    struct Options {
        QByteArray userAgent;
        QByteArray acceptLanguage;
        QSslConfiguration tls;                     // for https
        QUrl formPage;                             // the page whose form this answers, if any
        std::function<void(const QString&)> trace; // each request, redirect and answer, in words
        QByteArray buffer;                         // memory to take the body into
        const ServiceRules* rules = nullptr;       // where redirects may go (none: the host asked only)
    };

    PageTransfer(QNetworkAccessManager* manager, const HttpLimits& limits, const QUrl& url, const QUrl& origin,
                 std::optional<QByteArray> formBody, Options options, std::function<void()> done,
                 QObject* parent);
    // Ends it now; nobody is told.
    void cancel();
    Outcome outcome;

private:
    enum class Ending { Finished, TimedOut, TooLarge, Undecodable, Aborted };

    void send();
    void stop(Ending why);
    void answered();
    // Follows a redirect when it may be followed; false with the failure in
    // the outcome when not.
    bool follow(const QUrl& target);
    // Whether the target would be reached directly while the request went
    // through a proxy: no_proxy must not let a redirect leave the proxy.
    bool bypassesProxy(const QUrl& target) const;
    void finish();
    void trace(const QString& line) const;
    QStringList secrets() const { return m_options.rules ? m_options.rules->secretQueryItems : QStringList(); }
    void takeArrived(QNetworkReply* reply);
    // The connection a reply came on, in words: TLS version, cipher suite
    // and HTTP version.
    static QString connectionOf(const QNetworkReply* reply);

    QNetworkAccessManager* m_manager;
    HttpLimits m_limits;
    Options m_options;
    QUrl m_at;
    QUrl m_origin;
    std::optional<QByteArray> m_body;
    std::function<void()> m_done;
    QTimer m_total;
    QPointer<QNetworkReply> m_reply;
    Ending m_ending = Ending::Finished;
    int m_hops = 0;
    qint64 m_received = 0;
    QByteArray m_bytes; // the body so far, unpacked
    BodyInflater m_inflater;
    bool m_inflating = false; // the inflater was started for this answer
    bool m_finished = false;
};

} // namespace larkspire
