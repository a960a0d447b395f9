#pragma once
// The quote service as a test's server plays it: every known symbol's page
// (today's layout, with the service's cookie), getcrumb for a visitor that
// holds the cookie, and the quote list for that crumb, all from the same
// values. Faults are switched on by the test; every request is logged.
#include "support/quote_page_generator.h"
#include "support/quote_server.h"

#include <QHash>
#include <QStringList>

#include <functional>
#include <optional>

namespace larkspire::test {

struct QuoteListService {
    QHash<QString, PageShape> known;  // by symbol
    QString crumb = QStringLiteral("dxm/Hnt0.ZGCL");
    int crumbRefusals = 0;            // getcrumb answers 401 this many more times
    int listRefusals = 0;             // the list answers 401 "Invalid Crumb" this many more times
    bool formatted = false;           // {"raw","fmt"} pairs instead of plain numbers
    // Answers a list request in its place (a fault); nothing: the usual answer.
    std::function<std::optional<Response>(const QStringList& symbols)> listFault;
    std::function<std::optional<Response>()> crumbFault;
    QStringList log;                  // "page SYM", "crumb", "list A,B"
    QList<Request> listRequests;

    // Adds a known symbol with figures of its own.
    void add(const QString& symbol);
    Response answer(const Request& request);
    int count(const QString& kind) const;
};

} // namespace larkspire::test
