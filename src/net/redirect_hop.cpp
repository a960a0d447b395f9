// The service's redirect hop as the client learns, keeps and drops it: where
// the quote URL of a symbol leads, so that later symbols are asked there at
// once; the page's own address after a 404; a kept address that fails.
#include "net/qt_http_client.h"

#include "net/qt_http_client_job.h"

namespace larkspire {

void QtHttpClient::keepShape()
{
    m_kept = m_shape ? std::optional(KeptCookieJar::Address{m_shape->before, m_shape->after, m_shapeIsPageAddress})
                     : std::nullopt;
    if (m_keptCookies)
        m_keptCookies->keepAddress(m_kept);
}

bool QtHttpClient::hopLearnt(Job& job, PageTransfer::Outcome& outcome)
{
    HttpResult& r = outcome.result;
    // Data is asked where it is: it teaches nothing of the pages' hop.
    if (m_rules.pageFetching(job.url).isValid())
        return true;
    if (!m_rules.learnsHops()) { // nothing to learn: every page at the address asked
        m_learning = false;
        return true;
    }
    const QString symbol = m_rules.keyOf(job.url);
    const bool unknown = r.failure == FetchFailure::NotFound;
    if (job.pageAddress.isValid()) {
        // The page's own address after the quote URL's 404: when it gives
        // the quote, the run goes there from now on.
        job.pageAddress = QUrl();
        const bool consent = r.ok && isConsentBody(job.page, m_rules);
        const bool quote = r.ok && !consent && bodyNamesKey(job.page, m_rules, symbol, m_buffers.head());
        if (!m_shape && quote) {
            m_shape = m_rules.learnAddress(job.url, outcome.finalUrl);
            m_shapeIsPageAddress = m_shape.has_value();
            if (m_shape) {
                note(QStringLiteral("later symbols are asked at the page's own address"));
                keepShape();
            }
        }
        m_learning = false;
        // No page of the symbol there either: the quote URL's 404 says best
        // what happened.
        if ((r.ok && !consent && !quote) || unknown)
            r = std::exchange(job.firstAnswer, HttpResult());
        return true;
    }
    if (job.direct.isValid()) {
        // The page's own address not knowing a symbol is the service's word.
        if (m_shapeIsPageAddress && unknown)
            return true;
        // Asked past the hop: any answer but a good page (a refusal is
        // waited out as anywhere) sends the page back to the quote URL, and
        // the run there from now on.
        const bool consent = r.ok && isConsentBody(job.page, m_rules);
        const bool slowDown = r.failure == FetchFailure::Refused && r.status != 403;
        const bool wrong = (!r.ok && !slowDown) || (!consent && outcome.redirects > 0) ||
                           (r.ok && !consent && !bodyNamesKey(job.page, m_rules, symbol, m_buffers.head()));
        return !(wrong && backToQuoteUrl(job));
    }
    if (r.status == 404 && !job.triedPageAddress && m_rules.ownPageAddress) {
        // The quote URL no longer leads to the page: its own address once.
        job.triedPageAddress = true;
        job.pageAddress = m_rules.ownPageAddress(job.url);
        if (job.pageAddress.isValid()) {
            job.firstAnswer = r;
            note(QStringLiteral("the quote URL answered 404; asked at the page's own address"));
            job.state = Job::State::Queued;
            pump();
            return false;
        }
    }
    if (!m_shape && !m_shapeDropped && r.ok && outcome.redirects > 0 && !isConsentBody(job.page, m_rules) &&
        bodyNamesKey(job.page, m_rules, symbol, m_buffers.head())) {
        m_shape = m_rules.learnAddress(job.url, outcome.finalUrl);
        if (m_shape) {
            note(QStringLiteral("later symbols are asked at ") + shownUrl(outcome.finalUrl) +
                 QStringLiteral("'s address, past the redirect"));
            keepShape();
        }
    }
    // A quote URL that gives its page without a hop: later runs need not
    // wait for their first answer.
    m_answersDirectly = m_answersDirectly || (r.ok && outcome.redirects == 0 && !isConsentBody(job.page, m_rules));
    m_learning = false;
    return true;
}

bool QtHttpClient::backToQuoteUrl(Job& job)
{
    if (!job.direct.isValid())
        return false;
    note(QStringLiteral("the learned address failed for this symbol; asked again at the quote URL"));
    m_shape.reset();
    m_shapeIsPageAddress = false;
    // A kept one is forgotten and learned again at once; one this run
    // learned is not learned again this run.
    m_shapeDropped = !m_shapeKept;
    m_learning = m_shapeKept;
    if (m_shapeKept)
        keepShape();
    m_shapeKept = false;
    job.pastHop = false;
    job.direct = QUrl();
    job.state = Job::State::Queued;
    pump();
    return true;
}

} // namespace larkspire
