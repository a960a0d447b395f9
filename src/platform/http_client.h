#pragma once
// The HTTP client the retrieval run fetches quote pages with: one GET, the
// whole body as text when it finished, or a failure with a description a
// user understands. The caller waits; the window keeps running meanwhile.
#include <QString>
#include <QUrl>

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

} // namespace larkspire
