#pragma once
// What the client is told of the service it asks, by the caller that knows
// it: where redirects, form posts and learned addresses may go, whose
// lasting cookies are kept, how its consent form is told and declined, and
// how its redirect hop is learned. The client applies these rules and knows
// nothing of the service otherwise. Rules left empty are the safe choice:
// redirects only to the host and port asked, no form declined, no hop learned.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

#include <functional>
#include <optional>

namespace larkspire {

// Where a hop led one key (a symbol): the address before and after it.
struct LearnedAddress {
    QByteArray before;
    QByteArray after;
};

// A form's answer: where it posts (empty: the page's own address) and the
// url-encoded body.
struct FormAnswer {
    QString action;
    QByteArray body;
};

struct ServiceRules {
    // The domain whose lasting cookies are kept between runs; empty: none.
    QString cookieDomain;
    // Whether a redirect, a form post or an address made from a learned
    // shape may go to `target`: by host for a request that began at
    // `origin`, by port for one answered at `answered`.
    std::function<bool(const QUrl& target, const QUrl& origin)> hostAllowed;
    std::function<bool(const QUrl& target, const QUrl& answered)> portAllowed;

    // The consent form: one "<form ...>" tag, a whole page, its declining answer.
    std::function<bool(QStringView formTag)> isConsentFormTag;
    std::function<bool(const QString& page)> isConsentPage;
    std::function<std::optional<FormAnswer>(const QString& page)> declineConsent;

    // The redirect hop: the key a URL asks for; whether a page's text names
    // it; where the hop led it, as a shape; the shape put to another URL;
    // the page's own address, asked once when a URL answers 404.
    std::function<QString(const QUrl& asked)> keyOf;
    std::function<bool(const QString& page, const QString& key)> pageNamesKey;
    std::function<std::optional<LearnedAddress>(const QUrl& asked, const QUrl& landed)> learnAddress;
    std::function<QUrl(const LearnedAddress& shape, const QUrl& asked)> applyAddress;
    std::function<QUrl(const QUrl& asked)> ownPageAddress;

    // Query items whose values a trace never shows (a crumb): "name=...".
    QStringList secretQueryItems;

    // The page a data address (the service's JSON) is fetched from, as a
    // browser's script on that page fetches it; an invalid URL for a page.
    // A data request learns no hop and waits out one "slow down" at most.
    std::function<QUrl(const QUrl& asked)> fetchedFrom;
    QUrl pageFetching(const QUrl& asked) const { return fetchedFrom ? fetchedFrom(asked) : QUrl(); }

    bool mayGo(const QUrl& target, const QUrl& origin, const QUrl& answered) const
    {
        if (!hostAllowed || !portAllowed)
            return target.host().compare(origin.host(), Qt::CaseInsensitive) == 0 &&
                   target.port(-1) == answered.port(-1);
        return hostAllowed(target, origin) && portAllowed(target, answered);
    }
    bool learnsHops() const { return keyOf && pageNamesKey && learnAddress && applyAddress; }
    bool declinesConsent() const { return isConsentFormTag && isConsentPage && declineConsent; }
};

} // namespace larkspire
