#pragma once
// The real window fetching from a quote server on 127.0.0.1 that the test
// scripts, recording what the window showed at each request.
#include "support/quote_page_generator.h"
#include "support/quote_server.h"
#include "support/small_page.h"
#include "support/window_fixture.h"

namespace larkspire::test {


class RetrievalRun : public WindowFixture {
protected:
    void SetUp() override
    {
        server = std::make_unique<QuoteServer>([this](const Request& r) { return answer(r); });
        // These runs are of the quote pages; the quote list's have tests of their own.
        putStored(kKeyQuoteSource, QStringLiteral("pages"));
        restart();
    }
    // A new client (fetching ahead by `maxInFlight`) and a new window on it.
    void restart()
    {
        window.reset();
        HttpLimits limits;
        limits.stallMs = 400;
        limits.totalMs = 5000;
        limits.firstRetryWaitMs = 10;
        limits.maxInFlight = maxInFlight;
        limits.inFlightCeiling = maxInFlight;
        http = std::make_unique<QtHttpClient>(limits, false);
        http->setServiceRules(quoteServiceRules(kQuoteHost));
        quoteHost = server->host();
        start();
    }
    Response answer(const Request& r)
    {
        if (requestHandler)
            return requestHandler(r);
        const QString symbol = QuoteServer::symbolOf(r);
        progressSeen << window->controls().progressBar->value();
        barTextSeen << window->controls().progressBar->barText();
        pointerSeen << window->MousePointer();
        if (onRequest)
            onRequest(symbol);
        if (handler)
            return handler(symbol);
        Response resp;
        resp.body = smallPage(symbol, symbol + QStringLiteral(" Corp."));
        return resp;
    }
    void symbolsAre(std::initializer_list<const char*> items)
    {
        window->symbolList().clear();
        for (const char* i : items)
            window->symbolList().add(QString::fromUtf8(i));
    }
    QStringList rows()
    {
        QStringList out;
        ListModel& r = window->resultsList();
        for (int i = 1; i <= r.count(); ++i) {
            QString line = r.text(i);
            for (int k = 1; k <= 8; ++k)
                line += QLatin1Char('|') + r.subItem(i, k);
            out << line;
        }
        return out;
    }
    void run() { window->controls().startButton->click(); }
    QStringList requestedSymbols()
    {
        QStringList out;
        for (const Request& r : server->requests())
            out << QString::fromLatin1(r.target);
        return out;
    }

    // One request at a time unless a test fetches ahead.
    int maxInFlight = 1;
    std::unique_ptr<QuoteServer> server;
    std::function<Response(const QString&)> handler;
    // Answers every request itself when set.
    std::function<Response(const Request&)> requestHandler;
    std::function<void(const QString&)> onRequest;
    QList<int> progressSeen;
    QStringList barTextSeen;
    QList<int> pointerSeen;
};

} // namespace larkspire::test
