#pragma once
// The HTTP client the retrieval run fetches quote pages with: one GET, the
// whole body as text when it finished, or a failure with a description a
// user understands. The caller waits; the window keeps running meanwhile.
// A caller that knows which pages it asks for next may say so, and the
// client fetches a few of them ahead.
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

namespace larkspire {

// What kind of failure a fetch ended in, set where it is known, so that
// verdicts and messages never have to read the description's words.
enum class FetchFailure {
    None,
    NotFound,        // 404 or 410: the service does not know the page
    Refused,         // 403, 429 or 503: the service limits or blocks this computer
    ServerError,     // another 5xx: an error of the service's own
    HttpError,       // another 4xx
    TimedOut,
    TooLarge,
    Damaged,         // the body's encoding or compression is broken, or it was cut off
    Consent,         // the cookie consent form could not be passed
    RedirectRefused, // a redirect or form post that may not be followed
    Unreachable,     // no answer: name lookup, connection, proxy
    Cancelled,
    Unusable,        // the client was given settings it cannot ask with
};

// The kind of failure an HTTP status is.
FetchFailure failureOfStatus(int status);

struct HttpResult {
    bool ok = false;
    QString body;        // the decoded body when ok
    QString error;       // the description when not ok
    int status = 0;      // the HTTP status, when one came
    FetchFailure failure = FetchFailure::None;
    int askedWaitSeconds = 0; // a refusal that asked for a longer wait than is ever waited
    QUrl url;            // where the answer came from, past the redirects
};

// A token the service handed out (a crumb) and the address it came from.
struct KeptToken {
    QString value;
    QUrl at;
};

class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResult get(const QUrl& url) = 0;
    // The pages the caller will ask for next, in order (a page may stand
    // more than once). Some of them are fetched ahead so that get() finds
    // them ready; pages fetched ahead that are no longer among them are
    // dropped. Fetching nothing ahead is correct too.
    virtual void fetchAhead(const QList<QUrl>& next) { (void)next; }
    // How many pages are worth naming to fetchAhead().
    virtual int aheadLimit() const { return 1; }
    // Ends every request under way at once (the window is going away).
    virtual void abort() = 0;
    // A new run of pages begins: what the service said about the last run
    // (a consent form that could not be declined) is asked afresh.
    virtual void newRun() {}
    // Why the client cannot fetch at all (a setting it was given is not
    // usable); empty when it can. A run does not start while it is set.
    virtual QString setupError() const { return QString(); }
    // A page's text the caller is done with: its memory may take the next
    // page, so that a run does not ask for fresh memory for every page.
    virtual void recycle(QString text) { (void)text; }
    // Whether a request to `url` would carry cookies the service set.
    virtual bool holdsCookiesFor(const QUrl& url) const { (void)url; return false; }
    // A token the service handed out (a crumb), kept with its cookies
    // between runs; empty when none is kept. An empty one forgets it.
    virtual KeptToken keptToken() const { return {}; }
    virtual void keepToken(const KeptToken& token) { (void)token; }

    // Told while get() waits because the service asked to slow down: the
    // seconds it waits, then 0 when it asks again.
    std::function<void(int seconds)> waitReport;
    // Told each request, redirect, consent form and answer, in words (the
    // check command prints them).
    std::function<void(const QString& line)> trace;
};

} // namespace larkspire
