#include "core/text_decoding.h"
#include "net/browser_identity.h"
#include "net/qt_http_client.h"
#include "retrieval/quote_service.h"
#include "quotes/quote_url.h"
#include "support/quote_server.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace larkspire;
using namespace larkspire::test;

namespace {
HttpLimits shortLimits()
{
    HttpLimits l;
    l.stallMs = 500;
    l.totalMs = 3000;
    l.maxBodyBytes = 1 << 20;
    l.firstRetryWaitMs = 10;
    return l;
}
} // namespace

TEST(QuoteUrl, symbolIsOneQueryValue)
{
    const std::pair<const char*, const char*> cases[] = {
        {"GOOG", "http://h/q?s=GOOG"},           {"NHY.OL", "http://h/q?s=NHY.OL"},
        {"^GSPC", "http://h/q?s=%5EGSPC"},       {"M&M.NS", "http://h/q?s=M%26M.NS"},
        {"EURUSD=X", "http://h/q?s=EURUSD=X"},   {"BRK-B", "http://h/q?s=BRK-B"},
        {"A B#C+D%", "http://h/q?s=A%20B%23C%2BD%25"}, {"NESTLÉ", "http://h/q?s=NESTL%C3%89"},
        {"", "http://h/q?s="},
    };
    for (const auto& [symbol, url] : cases)
        EXPECT_EQ(quoteUrl(QStringLiteral("h"), QString::fromUtf8(symbol)).toEncoded(), QByteArray(url)) << symbol;
}

TEST(HttpClient, answersAndFailuresAsAUserReadsThem)
{
    QuoteServer server([](const Request& r) {
        Response resp;
        const QString s = QuoteServer::symbolOf(r);
        if (s == QStringLiteral("OK")) {
            resp.body = "caf\xc3\xa9";
        } else if (s == QStringLiteral("LATIN")) {
            resp.headers = {{"Content-Type", "text/html; charset=ISO-8859-1"}};
            resp.body = "caf\xe9";
        } else if (s == QStringLiteral("GZ")) {
            resp.gzip = true;
            resp.body = QByteArray(100000, 'z');
        } else if (s == QStringLiteral("404")) {
            resp.status = 404;
            resp.reason = "Not Found";
        } else if (s == QStringLiteral("429")) {
            resp.status = 429;
            resp.reason = "Too Many Requests";
        } else if (s == QStringLiteral("500")) {
            resp.status = 500;
            resp.reason = "";
        } else if (s == QStringLiteral("RESET")) {
            resp.body = QByteArray(200000, 'r');
            resp.resetMidBody = true;
        } else if (s == QStringLiteral("STALL")) {
            resp.body = QByteArray(1000, 's');
            resp.stallMidBody = true;
        } else if (s == QStringLiteral("HUGE")) {
            resp.body = QByteArray(3 << 20, 'h');
        } else if (s.startsWith(QStringLiteral("HOP"))) {
            const int n = s.mid(3).toInt();
            resp.status = 302;
            resp.reason = "Found";
            resp.headers = {{"Location", n > 1 ? QByteArray("/q?s=HOP" + QByteArray::number(n - 1)) : QByteArray("/q?s=OK")}};
        }
        return resp;
    });
    QtHttpClient client(shortLimits(), false);
    client.setServiceRules(quoteServiceRules(kQuoteHost));
    auto get = [&](const char* symbol) { return client.get(quoteUrl(server.host(), QString::fromLatin1(symbol))); };

    HttpResult r = get("OK");
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.body, QStringLiteral("café"));
    EXPECT_EQ(server.requests().last().headers.value("user-agent"),
              chromeUserAgent(chromeMajorVersionOn(QDate::currentDate())));
    EXPECT_EQ(get("LATIN").body, QStringLiteral("café"));
    EXPECT_EQ(get("GZ").body, QString(100000, QLatin1Char('z')));
    EXPECT_EQ(get("HOP3").body, QStringLiteral("café")) << "a chain of redirects is followed";
    EXPECT_EQ(get("HOP30").error, QStringLiteral("Too many redirects"));
    EXPECT_EQ(get("404").error, QStringLiteral("Not Found (HTTP 404)"));
    EXPECT_EQ(get("429").error, QStringLiteral("Too Many Requests (HTTP 429)"));
    EXPECT_EQ(get("500").error, QStringLiteral("Internal Server Error (HTTP 500)"));
    EXPECT_FALSE(get("RESET").ok);
    r = get("STALL");
    EXPECT_EQ(r.error, QStringLiteral("Operation timed out"));
    r = get("HUGE");
    EXPECT_EQ(r.error, QStringLiteral("The page is larger than 1 MB"));
    EXPECT_TRUE(get("OK").ok) << "the client still works after failures";
}

TEST(HttpClient, onlyTheQuoteServiceIsReachedAndOnlyWholePagesCount)
{
    // Another service on the user's machine that must never be reached.
    QuoteServer secret([](const Request&) { return Response(); });
    const QByteArray secretUrl = "http://" + secret.host().toLatin1() + "/secret";
    QuoteServer server([&](const Request& r) {
        Response resp;
        const QString s = QuoteServer::symbolOf(r);
        if (s == QStringLiteral("AWAY") || s == QStringLiteral("FAR")) {
            resp.status = 302;
            resp.headers = {{"Location", s == QStringLiteral("FAR") ? QByteArray("http://intranet.example/") : secretUrl}};
        } else if (s == QStringLiteral("CONSENT")) {
            resp.body = "<form method=\"post\" class=\"consent-form\" action=\"" + secretUrl +
                        "\"><input type=\"hidden\" name=\"sessionId\" value=\"1\">"
                        "<button type=\"submit\" name=\"reject\" value=\"reject\">Reject all</button></form>";
        } else if (s == QStringLiteral("SHORT") || s == QStringLiteral("RESET")) {
            resp.body = QByteArray(200000, 'r');
            (s == QStringLiteral("SHORT") ? resp.closeMidBody : resp.resetMidBody) = true;
        } else if (s == QStringLiteral("BADGZ")) {
            resp.headers << qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip"));
            resp.body = gzipBytes(QByteArray(100000, 'z'));
            for (qsizetype i = 12; i < resp.body.size() - 8; i += 3)
                resp.body[i] = char(resp.body[i] ^ 0x5a); // damaged deflate data
        }
        return resp;
    });
    QtHttpClient client(shortLimits(), false);
    client.setServiceRules(quoteServiceRules(kQuoteHost));
    auto error = [&](const char* symbol) {
        return client.get(quoteUrl(server.host(), QString::fromLatin1(symbol))).error;
    };
    const QString outside = QStringLiteral("The quote service redirected the request outside the quote service, to ");
    EXPECT_EQ(error("AWAY"), outside + QString::fromLatin1(secretUrl));
    EXPECT_EQ(error("FAR"), outside + QStringLiteral("http://intranet.example/"));
    EXPECT_EQ(error("CONSENT"),
              QStringLiteral("The quote service's consent form would send the answer outside the quote service, to ") +
                  QString::fromLatin1(secretUrl));
    EXPECT_TRUE(secret.requests().isEmpty());
    for (const char* cut : {"SHORT", "RESET"})
        EXPECT_EQ(error(cut), QStringLiteral("The connection was closed before the whole page arrived")) << cut;
    EXPECT_EQ(error("BADGZ"),
              QStringLiteral("The page's compressed data is damaged or unpacks to more than the client allows"));

    const QUrl home(QStringLiteral("http://finance.yahoo.com/q?s=X"));
    for (const char* ok : {"https://consent.yahoo.com/v2", "http://yahoo.com/", "https://guce.yahoo.com:8443/x"})
        EXPECT_TRUE(isQuoteServiceUrl(QUrl(QString::fromLatin1(ok)), home)) << ok;
    for (const char* no : {"http://yahoo.com.evil.example/", "http://notyahoo.com/", "ftp://yahoo.com/", "http://127.0.0.1/"})
        EXPECT_FALSE(isQuoteServiceUrl(QUrl(QString::fromLatin1(no)), home)) << no;
}

TEST(HttpClient, retryAfterIsReadAsSecondsOrADateAndCapped)
{
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-12-09T10:00:00Z"), Qt::ISODate);
    const std::pair<const char*, qint64> cases[] = {
        {"2", 2000},   {" 0 ", 0},    {"120", 60000}, {"Wed, 09 Dec 2026 10:00:07 GMT", 7000},
        {"Wed, 09 Dec 2026 09:00:00 GMT", 0},        {"", -1},       {"soon", -1}, {"-3", -1},
    };
    for (const auto& [value, ms] : cases)
        EXPECT_EQ(retryAfterMs(value, now, 60000), ms) << value;
}

TEST(HttpClient, refusedConnectionAndWholeRequestBound)
{
    quint16 closedPort;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    QtHttpClient client(shortLimits(), false);
    client.setServiceRules(quoteServiceRules(kQuoteHost));
    EXPECT_EQ(client.get(quoteUrl(QStringLiteral("127.0.0.1:") + QString::number(closedPort), QStringLiteral("X"))).error,
              QStringLiteral("Connection refused"));

    // A server that trickles bytes never stalls, but the whole request is bounded.
    QuoteServer slow([](const Request&) {
        Response r;
        r.delayMs = 5000;
        return r;
    });
    HttpLimits limits = shortLimits();
    limits.stallMs = 10000;
    limits.totalMs = 300;
    QtHttpClient bounded(limits, false);
    bounded.setServiceRules(quoteServiceRules(kQuoteHost));
    EXPECT_EQ(bounded.get(quoteUrl(slow.host(), QStringLiteral("X"))).error, QStringLiteral("Operation timed out"));
}

TEST(HttpClient, bodyDecodingFollowsTheCharset)
{
    EXPECT_EQ(decodeBody("caf\xc3\xa9", "text/html"), QStringLiteral("café"));
    EXPECT_EQ(decodeBody("caf\xe9", "text/html; charset=\"iso-8859-1\""), QStringLiteral("café"));
    EXPECT_EQ(decodeBody("\x80", "text/html;charset=windows-1252"), QStringLiteral("€"));
    EXPECT_EQ(decodeBody(QByteArray("a\0b\0", 4), "text/html; charset=UTF-16LE"), QStringLiteral("ab"));
    EXPECT_EQ(decodeBody("caf\xc3\xa9", "text/html; charset=x-unknown"), QStringLiteral("café"));
}

TEST(HttpClient, serversWordsPortsAndProxiesAreNotTrusted)
{
    // Only 80, 443 or the port of the request answered.
    const QUrl http(QStringLiteral("http://finance.example.com/q?s=A"));
    const QUrl https8443(QStringLiteral("https://finance.example.com:8443/quote/A/"));
    EXPECT_TRUE(isQuoteServicePort(QUrl(QStringLiteral("https://finance.example.com/quote/A/")), http));
    EXPECT_TRUE(isQuoteServicePort(QUrl(QStringLiteral("http://consent.example.com:80/")), http));
    EXPECT_TRUE(isQuoteServicePort(QUrl(QStringLiteral("https://x.example.com:8443/")), https8443));
    EXPECT_FALSE(isQuoteServicePort(QUrl(QStringLiteral("http://finance.example.com:22/")), http));
    EXPECT_FALSE(isQuoteServicePort(QUrl(QStringLiteral("https://finance.example.com:8443/")), http));

    QuoteServer server([](const Request& r) {
        Response resp;
        const QString s = QuoteServer::symbolOf(r);
        if (s == QStringLiteral("EVIL")) {
            resp.status = 404;
            resp.reason = "Gone\x1b]52;c;aGk=\x07";
        } else if (s == QStringLiteral("NOHOST")) {
            resp.status = 302;
            resp.headers = {{"Location", "file:///etc/passwd"}};
        } else if (s == QStringLiteral("DIRECT")) {
            resp.status = 302;
            resp.headers = {{"Location", "http://consent.proxied.test/q?s=A"}};
        }
        return resp;
    });
    QtHttpClient client(shortLimits(), false);
    client.setServiceRules(quoteServiceRules(kQuoteHost));
    auto error = [&](const char* symbol, const QString& host) {
        return client.get(quoteUrl(host, QString::fromLatin1(symbol))).error;
    };
    EXPECT_EQ(error("EVIL", server.host()), QStringLiteral("Not Found (HTTP 404)"));
    EXPECT_EQ(error("NOHOST", server.host()),
              QStringLiteral("The quote service redirected the request outside the quote service, to file:///etc/passwd"));

    // Through a proxy (the test server), a redirect to a host that no_proxy
    // would reach directly is refused.
    qputenv("http_proxy", "http://" + server.host().toLatin1());
    qputenv("no_proxy", "consent.proxied.test");
    QtHttpClient proxied(shortLimits(), true);
    proxied.setServiceRules(quoteServiceRules(kQuoteHost));
    EXPECT_EQ(proxied.get(quoteUrl(QStringLiteral("finance.proxied.test"), QStringLiteral("DIRECT"))).error,
              QStringLiteral("The quote service redirected the request to an address the proxy settings would "
                             "reach without the proxy: http://consent.proxied.test/q?s=A"));
    qunsetenv("http_proxy");
    qunsetenv("no_proxy");
}

TEST(HttpClient, theServicesRedirectHopIsLearnedOnceARunAndDroppedWhenItFails)
{
    QuoteServer server([](const Request& r) {
        Response resp;
        if (r.target.startsWith("/q?s=")) {
            resp.status = 301;
            resp.headers = {{"Location", "/quote/" + r.target.mid(5) + "/"}};
            return resp;
        }
        const QString symbol = QString::fromUtf8(QByteArray::fromPercentEncoding(r.target.mid(7).chopped(1)));
        if (symbol == QStringLiteral("GONE") || symbol == QStringLiteral("DOWN")) {
            resp.status = symbol == QStringLiteral("GONE") ? 404 : 500;
            return resp;
        }
        resp.resetMidBody = symbol == QStringLiteral("CUT");
        const QString named = symbol == QStringLiteral("WRONG") ? QStringLiteral("OTHER") : symbol;
        resp.body = "<html><head><title>" + named.toUtf8() + " Corp (" + named.toUtf8() +
                    ") Stock Price - Yahoo Finance</title></head></html>";
        return resp;
    });
    const QUrl asked = quoteUrl(QStringLiteral("h"), QStringLiteral("AAA"));
    EXPECT_FALSE(learnQuoteUrlShape(asked, QUrl(QStringLiteral("http://h/quote/AAA/AAA"))));
    EXPECT_FALSE(learnQuoteUrlShape(asked, QUrl(QStringLiteral("http://h/quote/"))));
    // A symbol that stands in the port or the host teaches nothing: later
    // symbols would reach other ports and hosts.
    EXPECT_FALSE(learnQuoteUrlShape(quoteUrl(QStringLiteral("finance.yahoo.com"), QStringLiteral("443")),
                                    QUrl(QStringLiteral("http://finance.yahoo.com:443/lookup"))));
    EXPECT_TRUE(learnQuoteUrlShape(quoteUrl(QStringLiteral("h"), QStringLiteral("443")),
                                   QUrl(QStringLiteral("https://h/quote/443/"))));
    QtHttpClient client(shortLimits(), false);
    client.setServiceRules(quoteServiceRules(kQuoteHost));
    auto run = [&](const QStringList& symbols) {
        client.newRun();
        QStringList got;
        for (const QString& s : symbols) {
            const HttpResult r = client.get(quoteUrl(server.host(), s));
            got << (r.ok ? QStringLiteral("ok") : r.error);
        }
        return got;
    };
    auto targets = [&](qsizetype from) {
        QStringList out;
        for (qsizetype i = from; i < server.requests().size(); ++i)
            out << QString::fromLatin1(server.requests()[i].target);
        return out;
    };
    EXPECT_EQ(run({QStringLiteral("AAA"), QStringLiteral("^GSPC"), QStringLiteral("M&M.NS")}),
              QStringList(3, QStringLiteral("ok")));
    EXPECT_EQ(targets(0), (QStringList{QStringLiteral("/q?s=AAA"), QStringLiteral("/quote/AAA/"),
                                       QStringLiteral("/quote/%5EGSPC/"), QStringLiteral("/quote/M%26M.NS/")}))
        << "the hop paid once, symbols encoded as the quote URL encodes them";

    // A page past the hop that fails in any way or names another symbol:
    // asked again at the quote URL, and the rest of the run goes there too.
    for (const char* odd : {"GONE", "WRONG", "DOWN", "CUT"}) {
        const qsizetype before = server.requests().size();
        run({QStringLiteral("AAA"), QString::fromLatin1(odd), QStringLiteral("BBB")});
        const QString o = QString::fromLatin1(odd);
        // The address kept from the run before serves AAA at once; dropped
        // with the odd page, it is learned again from the next symbol.
        EXPECT_EQ(targets(before), (QStringList{QStringLiteral("/quote/AAA/"),
                                                QStringLiteral("/quote/") + o + QLatin1Char('/'),
                                                QStringLiteral("/q?s=") + o, QStringLiteral("/quote/") + o + QLatin1Char('/'),
                                                QStringLiteral("/q?s=BBB"), QStringLiteral("/quote/BBB/")}))
            << odd;
    }
}

TEST(HttpClient, aQuoteUrlThatAnswers404IsAskedOnceAtThePagesOwnAddressWhichServesTheRestOfTheRun)
{
    QuoteServer server([](const Request& r) {
        Response resp;
        const QByteArray symbol = r.target.mid(7).chopped(1);
        if (r.target.startsWith("/q?s=") || symbol == "NOPE") {
            resp.status = 404;
            return resp;
        }
        resp.body = "<html><head><title>" + symbol + " Corp (" + symbol + ") - Yahoo Finance</title></head></html>";
        return resp;
    });
    const struct {
        QStringList symbols;
        QStringList results;
        QStringList targets;
    } runs[] = {
        {{QStringLiteral("AAA"), QStringLiteral("NOPE"), QStringLiteral("BBB")},
         {QStringLiteral("ok"), QStringLiteral("Not Found (HTTP 404)"), QStringLiteral("ok")},
         {QStringLiteral("/q?s=AAA"), QStringLiteral("/quote/AAA/"), QStringLiteral("/quote/NOPE/"),
          QStringLiteral("/quote/BBB/")}},
        {{QStringLiteral("NOPE"), QStringLiteral("AAA"), QStringLiteral("BBB")},
         {QStringLiteral("Not Found (HTTP 404)"), QStringLiteral("ok"), QStringLiteral("ok")},
         {QStringLiteral("/q?s=NOPE"), QStringLiteral("/quote/NOPE/"), QStringLiteral("/q?s=AAA"),
          QStringLiteral("/quote/AAA/"), QStringLiteral("/quote/BBB/")}},
    };
    for (const auto& run : runs) {
        QtHttpClient client(shortLimits(), false); // nothing learned yet
        client.setServiceRules(quoteServiceRules(kQuoteHost));
        client.newRun();
        const qsizetype before = server.requests().size();
        QStringList results, targets;
        for (const QString& s : run.symbols) {
            const HttpResult r = client.get(quoteUrl(server.host(), s));
            results << (r.ok ? QStringLiteral("ok") : r.error);
        }
        for (qsizetype i = before; i < server.requests().size(); ++i)
            targets << QString::fromLatin1(server.requests()[i].target);
        EXPECT_EQ(results, run.results);
        EXPECT_EQ(targets, run.targets) << "an unknown symbol costs two requests at most";
    }
}

TEST(HttpClient, thePermanentRedirectIsRememberedBetweenRunsAndForgottenWhenItFails)
{
    QByteArray place = "/quote/"; // where the service's pages stand
    QuoteServer server([&](const Request& r) {
        Response resp;
        if (r.target.startsWith("/q?s=")) {
            resp.status = 301;
            resp.headers = {{"Location", place + r.target.mid(5) + "/"}};
        } else if (!r.target.startsWith(place)) {
            resp.status = 404;
        } else {
            const QByteArray symbol = r.target.mid(place.size()).chopped(1);
            resp.body = "<html><head><title>" + symbol + " Corp (" + symbol + ") - Yahoo Finance</title></head></html>";
        }
        return resp;
    });
    QTemporaryDir dir;
    // One run of the program: a client of its own, the kept file shared.
    auto run = [&](const QStringList& symbols, bool ahead) {
        QtHttpClient client(shortLimits(), false);
        client.setServiceRules(quoteServiceRules(kQuoteHost));
        client.keepCookiesIn(dir.filePath(QStringLiteral("cookies")));
        client.newRun();
        const qsizetype before = server.requests().size();
        for (qsizetype i = 0; i < symbols.size(); ++i) {
            QList<QUrl> next;
            for (qsizetype k = i; ahead && k < symbols.size(); ++k)
                next << quoteUrl(server.host(), symbols[k]);
            client.fetchAhead(next);
            EXPECT_TRUE(client.get(quoteUrl(server.host(), symbols[i])).ok) << symbols[i].toStdString();
        }
        QStringList targets;
        for (qsizetype i = before; i < server.requests().size(); ++i)
            targets << QString::fromLatin1(server.requests()[i].target);
        return targets;
    };
    QStringList first = run({QStringLiteral("AAA"), QStringLiteral("BBB"), QStringLiteral("CCC")}, true);
    std::sort(first.begin() + 2, first.end());
    EXPECT_EQ(first, (QStringList{QStringLiteral("/q?s=AAA"), QStringLiteral("/quote/AAA/"), QStringLiteral("/quote/BBB/"),
                                  QStringLiteral("/quote/CCC/")}))
        << "the first answer teaches the address; the pages fetched ahead wait for it";
    EXPECT_EQ(run({QStringLiteral("DDD"), QStringLiteral("EEE")}, false),
              (QStringList{QStringLiteral("/quote/DDD/"), QStringLiteral("/quote/EEE/")}))
        << "the next run makes no hop request";
    place = "/v2/quote/";
    EXPECT_EQ(run({QStringLiteral("FFF"), QStringLiteral("GGG")}, false),
              (QStringList{QStringLiteral("/quote/FFF/"), QStringLiteral("/q?s=FFF"), QStringLiteral("/v2/quote/FFF/"),
                           QStringLiteral("/v2/quote/GGG/")}))
        << "a kept address that fails is forgotten and learned again at once";
    EXPECT_EQ(run({QStringLiteral("HHH")}, false), QStringList{QStringLiteral("/v2/quote/HHH/")});
}

TEST(HttpClient, everyConnectionOpenedCarriesARequest)
{
    QuoteServer server([](const Request& r) {
        Response resp;
        if (r.target.startsWith("/q?s=")) {
            resp.status = 301;
            resp.headers.append(qMakePair(QByteArray("Location"), "/quote/" + r.target.mid(5) + "/"));
            return resp;
        }
        const QByteArray symbol = r.target.mid(7).chopped(1);
        resp.body = "<html><head><title>" + symbol + " Corp (" + symbol + ") - Yahoo Finance</title></head></html>";
        return resp;
    });
    QtHttpClient client(shortLimits(), false);
    client.setServiceRules(quoteServiceRules(kQuoteHost));
    client.newRun();
    QStringList symbols;
    for (int i = 0; i < 40; ++i)
        symbols << QStringLiteral("S%1").arg(i);
    for (qsizetype i = 0; i < symbols.size(); ++i) {
        QList<QUrl> ahead;
        for (qsizetype k = i; k < symbols.size() && ahead.size() < client.aheadLimit(); ++k)
            ahead << quoteUrl(server.host(), symbols[k]);
        client.fetchAhead(ahead);
        ASSERT_TRUE(client.get(quoteUrl(server.host(), symbols[i])).ok) << i;
    }
    QTest::qWait(50); // connections opened late are seen by the server
    EXPECT_EQ(server.connectionsWithARequest(), server.acceptedConnections());
    EXPECT_LE(server.acceptedConnections(), 8);
}
