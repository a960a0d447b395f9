#include "retrieval/quote_service.h"

#include "quotes/consent_form.h"
#include "quotes/quote_url.h"

#include <QUrlQuery>

namespace larkspire {

ServiceRules quoteServiceRules(const QString& quoteHost)
{
    ServiceRules rules;
    rules.cookieDomain = quoteServiceDomain(quoteHost);
    rules.hostAllowed = &isQuoteServiceUrl;
    rules.portAllowed = &isQuoteServicePort;
    rules.isConsentFormTag = &IsConsentFormTag;
    rules.isConsentPage = &IsConsentPage;
    rules.declineConsent = [](const QString& page) -> std::optional<FormAnswer> {
        if (auto decline = DeclineConsentForm(page))
            return FormAnswer{std::move(decline->action), std::move(decline->body)};
        return std::nullopt;
    };
    rules.keyOf = [](const QUrl& asked) {
        return QUrlQuery(asked).queryItemValue(QStringLiteral("s"), QUrl::FullyDecoded);
    };
    rules.pageNamesKey = &pageNamesSymbol;
    rules.learnAddress = [](const QUrl& asked, const QUrl& landed) -> std::optional<LearnedAddress> {
        if (auto shape = learnQuoteUrlShape(asked, landed))
            return LearnedAddress{std::move(shape->before), std::move(shape->after)};
        return std::nullopt;
    };
    rules.applyAddress = [](const LearnedAddress& shape, const QUrl& asked) {
        return applyQuoteUrlShape(QuoteUrlShape{shape.before, shape.after}, asked);
    };
    rules.ownPageAddress = &quotePageAddress;
    rules.secretQueryItems = {QStringLiteral("crumb")};
    // The quote list and its crumb are fetched by the quote page's script:
    // from the quote host's origin (query1. or query2. taken off).
    rules.fetchedFrom = [](const QUrl& asked) {
        const QString path = asked.path();
        if (!path.startsWith(QStringLiteral("/v7/finance/quote")) && path != QStringLiteral("/v1/test/getcrumb"))
            return QUrl();
        QString host = asked.host();
        for (const QString& prefix : {QStringLiteral("query1."), QStringLiteral("query2.")})
            if (host.startsWith(prefix))
                host.remove(0, prefix.size());
        QUrl page;
        page.setScheme(asked.scheme());
        page.setHost(host);
        page.setPort(asked.port());
        page.setPath(QStringLiteral("/"));
        return page;
    };
    return rules;
}

} // namespace larkspire
