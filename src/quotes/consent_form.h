#pragma once
// The quote service's cookie consent form, which visitors from some
// countries get instead of a quote page. We answer it by declining: the
// form's hidden fields and "reject=reject", never "agree".
#include <QByteArray>
#include <QString>

#include <optional>

namespace larkspire {

// Whether a page is the consent form: a form whose class list holds
// "consent-form".
bool IsConsentPage(const QString& page);
// Whether one tag ("<form ...>") is the consent form's.
bool IsConsentFormTag(QStringView tag);

struct ConsentDecline {
    QString action;   // where the form posts, as written (empty: the page's own address)
    QByteArray body;  // application/x-www-form-urlencoded
};

// The declining answer to the consent form of a page; nothing when the page
// has no such form, or the form has no hidden fields or no way to reject.
std::optional<ConsentDecline> DeclineConsentForm(const QString& page);

} // namespace larkspire
