#pragma once
// What a run of many pages tells about the quote service as a whole, for
// both front ends: a service that keeps refusing (three symbols in a row
// refused with 403, 429 or 503 after their retries, no page fine between them,
// or one refusal that asks for a longer wait than is ever waited) ends the run
// with one plain message; pages that came but of which not
// one could be read say the service may have changed its pages.
#include "net/http_client.h"

#include <QString>

#include <optional>

namespace larkspire {

class RunWatch final {
public:
    // A page's fetch ended; true when the run should stop asking.
    bool fetched(const HttpResult& result);
    // A page that came was read: whether it held a quote of its symbol.
    void read(bool quoteFound);

    // "The quote service keeps refusing requests (HTTP 429 Too Many
    // Requests); the run stops here. Try again later."
    QString refusalMessage() const;
    // Said once at the end of a run when at least 3 pages came and not
    // one could be read.
    std::optional<QString> unreadMessage() const;

private:
    int m_refusedInARow = 0;
    int m_lastRefusal = 0;
    int m_askedWait = 0; // seconds: a wait longer than is ever waited ends the run at once
    int m_pagesCame = 0;
    int m_pagesRead = 0;
};

} // namespace larkspire
