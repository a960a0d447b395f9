#pragma once
// How politely the quote pages are asked for, with no network in sight: how
// many requests go at once, how long to wait when the service says "slow
// down", and the one decline of its cookie consent form a run may send. The
// HTTP client asks this class what to do next; tests drive it alone, with a
// clock of their own.
#include <QByteArray>
#include <QDateTime>

#include <functional>

namespace larkspire {

struct HttpLimits {
    int stallMs = 30'000;          // no byte moved for this long: timed out
    int totalMs = 60'000;          // one request, its redirects included
    qint64 maxBodyBytes = 32LL << 20;
    int maxRedirects = 10;
    int maxInFlight = 4;           // requests on their way at once at the start of a client
    int inFlightCeiling = 8;       // never more than this, however well the service answers
    int maxRetries = 3;            // for each page the service asked to wait for (429, 503)
    int maxRetryWaitMs = 30'000;   // the longest wait waited out; a longer one asked for ends the run
    int firstRetryWaitMs = 2'000;  // without Retry-After: this, then twice, then four times it
    int growBackAfter = 8;         // answers that came fine before one more request goes at once
};

// How long a Retry-After value asks to wait (seconds or an HTTP date), in
// milliseconds, not above `cap` (a number of any size is at most `cap`);
// -1 when it says nothing usable.
qint64 retryAfterMs(const QByteArray& value, const QDateTime& now, qint64 cap);

class FetchPacing final {
public:
    using Clock = std::function<QDateTime()>;
    explicit FetchPacing(const HttpLimits& limits, Clock now = &QDateTime::currentDateTimeUtc);

    // Requests that may be on their way at once now.
    int inFlightLimit() const { return m_limit; }
    // The most that ever go at once: how many pages are worth naming ahead.
    int ceiling() const { return m_ceiling; }
    // Whether one more may start with `busy` on their way or held; the page
    // asked for first always goes when nothing else is on its way.
    bool mayStart(int busy, bool firstWithNothingRunning) const;

    // A page came back fine: after a stretch of them one more goes at once.
    void answeredFine();
    // The service said "slow down" (429 or 503) to a page asked `retries`
    // times before: the wait before asking again, or -1 when the page has
    // had its retries, or the service asked for a wait longer than is ever
    // waited (askedTooLongMs() says how long), and fails. Halves the
    // requests that go at once.
    qint64 slowDown(const QByteArray& retryAfter, int retries);
    // The wait the last slowDown() was asked for when it was too long to
    // wait; 0 otherwise.
    qint64 askedTooLongMs() const { return m_askedTooLong; }

    // The cookie consent form, met by a request sent after `roundWhenSent`
    // declines had completed, and asked again once already or not.
    enum class Consent { Decline, WaitForDecline, AskAgain, Fail };
    Consent consentMet(int roundWhenSent, bool askedAgain);
    // The decline went out; it came back with the form gone (`stuck`), the
    // form again, or not at all (`arrived` false).
    void declineSent();
    void declineAnswered(bool arrived, bool stuck);
    bool declining() const { return m_consent == ConsentState::Declining; }
    // Declines completed so far.
    int consentRound() const { return m_round; }
    // A new run declines once again should it meet the form; a decline
    // dropped on its way leaves the form unanswered.
    void newRun();
    void declineDropped();

private:
    enum class ConsentState { NotMet, Declining, Declined, DidNotStick };
    HttpLimits m_limits;
    Clock m_now;
    int m_ceiling;
    int m_limit;
    int m_fine = 0;
    ConsentState m_consent = ConsentState::NotMet;
    int m_round = 0;
    qint64 m_askedTooLong = 0;
};

} // namespace larkspire
