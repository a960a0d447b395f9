#include "net/fetch_pacing.h"

#include <algorithm>

namespace larkspire {

qint64 retryAfterMs(const QByteArray& value, const QDateTime& now, qint64 cap)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return -1;
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        // Seconds; a number too large for any clock is the longest wait.
        bool fits = false;
        const qint64 seconds = text.toLongLong(&fits);
        return !fits || seconds > cap / 1000 ? cap : std::min(cap, seconds * 1000);
    }
    // An HTTP date ends in "GMT", which Qt's RFC 2822 reading does not take.
    QString date = QString::fromLatin1(text);
    if (date.endsWith(QStringLiteral(" GMT")))
        date.replace(date.size() - 3, 3, QStringLiteral("+0000"));
    const QDateTime at = QDateTime::fromString(date, Qt::RFC2822Date);
    if (!at.isValid())
        return -1;
    return std::clamp<qint64>(now.msecsTo(at), 0, cap);
}

FetchPacing::FetchPacing(const HttpLimits& limits, Clock now)
    : m_limits(limits), m_now(std::move(now)), m_ceiling(std::clamp(limits.inFlightCeiling, 1, 8)),
      m_limit(std::clamp(limits.maxInFlight, 1, m_ceiling))
{
}

bool FetchPacing::mayStart(int busy, bool firstWithNothingRunning) const
{
    if (declining())
        return false; // anything sent now would only meet the form again
    return busy < m_limit || firstWithNothingRunning;
}

void FetchPacing::answeredFine()
{
    if (++m_fine >= m_limits.growBackAfter && m_limit < m_ceiling) {
        ++m_limit;
        m_fine = 0;
    }
}

qint64 FetchPacing::slowDown(const QByteArray& retryAfter, int retries)
{
    m_limit = std::max(1, m_limit / 2);
    m_fine = 0;
    // A service that asks for minutes is not idled for: the run stops and
    // says how long it asked.
    constexpr qint64 kDay = 24LL * 3600 * 1000;
    const qint64 asked = retryAfterMs(retryAfter, m_now(), kDay);
    m_askedTooLong = asked > m_limits.maxRetryWaitMs ? asked : 0;
    if (m_askedTooLong > 0 || retries >= m_limits.maxRetries)
        return -1;
    return asked >= 0 ? asked : qint64(m_limits.firstRetryWaitMs) << std::min(retries, 20);
}

FetchPacing::Consent FetchPacing::consentMet(int roundWhenSent, bool askedAgain)
{
    switch (m_consent) {
    case ConsentState::Declining:
        // Another request's decline is on its way: this one is sent again
        // once it is in, and not answered again.
        return Consent::WaitForDecline;
    case ConsentState::Declined:
        // A request sent before the decline was complete carried no cookie
        // yet: it is asked again with it. One sent after it that still meets
        // the form shows that the decline did not stick.
        if (roundWhenSent < m_round && !askedAgain)
            return Consent::AskAgain;
        m_consent = ConsentState::DidNotStick;
        return Consent::Fail;
    case ConsentState::DidNotStick:
        return Consent::Fail; // never a second decline
    case ConsentState::NotMet:
        break;
    }
    return Consent::Decline;
}

void FetchPacing::declineSent() { m_consent = ConsentState::Declining; }

void FetchPacing::declineAnswered(bool arrived, bool stuck)
{
    if (!arrived) {
        m_consent = ConsentState::NotMet;
    } else if (!stuck) {
        m_consent = ConsentState::DidNotStick;
    } else {
        m_consent = ConsentState::Declined;
        ++m_round;
    }
}

void FetchPacing::newRun()
{
    if (m_consent != ConsentState::Declining)
        m_consent = ConsentState::NotMet;
}

void FetchPacing::declineDropped()
{
    if (m_consent == ConsentState::Declining)
        m_consent = ConsentState::NotMet;
}

} // namespace larkspire
