#include "retrieval/run_watch.h"

#include "net/page_transfer.h"

namespace larkspire {

bool RunWatch::fetched(const HttpResult& result)
{
    if (result.failure == FetchFailure::Refused) {
        m_lastRefusal = result.status;
        m_askedWait = result.askedWaitSeconds;
        return ++m_refusedInARow >= 3 || m_askedWait > 0;
    }
    m_refusedInARow = 0;
    if (result.ok)
        ++m_pagesCame;
    return false;
}

void RunWatch::read(bool quoteFound) { m_pagesRead += quoteFound ? 1 : 0; }

QString RunWatch::refusalMessage() const
{
    if (m_askedWait > 0)
        return QStringLiteral("The quote service refuses requests (HTTP %1 %2) and asks to wait %3 s before the next; "
                              "the run stops here. Try again later.")
            .arg(m_lastRefusal)
            .arg(httpStatusPhrase(m_lastRefusal))
            .arg(m_askedWait);
    return QStringLiteral("The quote service keeps refusing requests (HTTP %1 %2); the run stops here. Try again "
                          "later.")
        .arg(m_lastRefusal)
        .arg(httpStatusPhrase(m_lastRefusal));
}

std::optional<QString> RunWatch::unreadMessage() const
{
    if (m_pagesCame < 3 || m_pagesRead > 0)
        return std::nullopt;
    return QStringLiteral("%1 pages came back from the quote service, but not one of them held a quote this program "
                          "can read: the service may have changed its pages. 'larkspire --check' shows where it "
                          "goes wrong.")
        .arg(m_pagesCame);
}

} // namespace larkspire
