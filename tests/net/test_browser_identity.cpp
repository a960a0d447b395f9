// What the program sends to look like the Chrome it names: the handshake
// read off the wire through a proxy's tunnel, the headers of a page request,
// the version the calendar gives.
#include "core/plain_text.h"
#include "net/browser_identity.h"
#include "net/qt_http_client.h"
#include "net/tls_hello.h"
#include "support/client_hello.h"
#include "support/quote_server.h"

#include <QProcess>
#include <QSslCipher>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace larkspire;
using namespace larkspire::test;

namespace {

// Sets an environment variable for the life of the object.
struct ScopedEnv {
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name), m_old(qgetenv(name)), m_had(qEnvironmentVariableIsSet(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }
    const char* m_name;
    QByteArray m_old;
    bool m_had;
};

HttpLimits quickLimits()
{
    HttpLimits l;
    l.stallMs = 2000;
    l.totalMs = 5000;
    return l;
}

} // namespace

TEST(BrowserIdentity, theChromeVersionFollowsTheCalendar)
{
    const std::pair<QDate, int> cases[] = {
        {QDate(2020, 1, 1), 131},  {QDate(2024, 11, 12), 131}, {QDate(2025, 1, 6), 131},
        {QDate(2025, 1, 7), 132},  {QDate(2026, 11, 1), 155},  {QDate(2026, 12, 9), 157},
    };
    for (const auto& [day, major] : cases)
        EXPECT_EQ(chromeMajorVersionOn(day), major) << day.toString(Qt::ISODate).toStdString();
    EXPECT_EQ(chromeUserAgent(158), "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
                                    "Chrome/158.0.0.0 Safari/537.36");
}

TEST(BrowserIdentity, clientHintsAgreeWithTheUserAgentOrAreNotSent)
{
    // The brand lists of three real Chrome releases.
    const std::pair<int, const char*> brands[] = {
        {120, R"("Not_A Brand";v="8", "Chromium";v="120", "Google Chrome";v="120")"},
        {124, R"("Chromium";v="124", "Google Chrome";v="124", "Not-A.Brand";v="99")"},
        {131, R"("Google Chrome";v="131", "Chromium";v="131", "Not_A Brand";v="24")"},
    };
    for (const auto& [major, list] : brands) {
        const auto hints = clientHintsFor(chromeUserAgent(major));
        ASSERT_TRUE(hints) << major;
        EXPECT_EQ(hints->brands, QByteArray(list));
        EXPECT_EQ(hints->mobile, "?0");
        EXPECT_EQ(hints->platform, "\"Linux\"");
    }
    const auto windows = clientHintsFor("Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
                                        "Gecko) Chrome/140.0.0.0 Safari/537.36");
    ASSERT_TRUE(windows);
    EXPECT_EQ(windows->platform, "\"Windows\"");
    for (const char* other : {"Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0",
                              "Mozilla/5.0 (Windows NT 10.0) AppleWebKit/537.36 Chrome/140.0.0.0 Safari/537.36 Edg/140.0",
                              "Checker/1.0"})
        EXPECT_FALSE(clientHintsFor(other)) << other;
}

TEST(BrowserIdentity, acceptLanguagePutsTheUsersFirstAndEnglishAfter)
{
    const std::pair<const char*, const char*> cases[] = {
        {"de_DE", "de-DE,de;q=0.9,en;q=0.8"}, {"fr_CA", "fr-CA,fr;q=0.9,en;q=0.8"},
        {"en_GB", "en-GB,en;q=0.9"},          {"en_US", "en-US,en;q=0.9"},
        {"C", "en-US,en;q=0.9"},
    };
    for (const auto& [locale, header] : cases)
        EXPECT_EQ(acceptLanguageFor(QLocale(QString::fromLatin1(locale))), QByteArray(header)) << locale;
}

TEST(BrowserIdentity, aCipherListOpenSslCannotUseIsRefusedWithItsReason)
{
    const std::pair<QString, const char*> bad[] = {
        {QString(), "names no cipher suite"},
        {QStringLiteral(" : :"), "names no cipher suite"},
        {QStringLiteral("HIGH:!aNULL"), "\"HIGH\" is not a cipher suite"},
        {QStringLiteral("TLS_AES_128_GCM_SHA256:NOT-A-SUITE"), "\"NOT-A-SUITE\" is not a cipher suite"},
        {QString(10240, QLatin1Char('A')), "longer than"},
        {QStringLiteral("TLS_AES_128_GCM_SHA256\x01\n"), "characters no cipher suite's name has"},
    };
    for (const auto& [list, reason] : bad)
        EXPECT_TRUE(browserTls(list).error.contains(QLatin1String(reason))) << browserTls(list).error.toStdString();
    const TlsChoice chrome = browserTls();
    EXPECT_TRUE(chrome.error.isEmpty());
    ASSERT_EQ(chrome.configuration.ciphers().size(), 15);
    EXPECT_EQ(chrome.configuration.ciphers().first().name(), QStringLiteral("TLS_AES_128_GCM_SHA256"));
}

TEST(BrowserIdentity, theHandshakeThroughAProxyIsChromes)
{
    HandshakeCatcher tls;
    const ScopedEnv proxy("https_proxy", "http://127.0.0.1:" + QByteArray::number(tls.port()));
    const ScopedEnv direct("no_proxy", "");
    QtHttpClient client(quickLimits(), true);
    const QUrl page(QStringLiteral("https://quote.test/q?s=ABC"));
    EXPECT_FALSE(client.get(page).ok) << "nobody answers the handshake";
    ASSERT_EQ(tls.hellos().size(), 1);
    ClientHello hello = tls.hellos().first();
    EXPECT_EQ(hello.connectLine, "CONNECT quote.test:443 HTTP/1.1");
    EXPECT_EQ(hello.serverName, "quote.test");
    hello.cipherSuites.removeAll(0x00FF); // the renegotiation signal OpenSSL may add
    EXPECT_EQ(hello.cipherSuites, (QList<quint16>{0x1301, 0x1302, 0x1303, 0xC02B, 0xC02F, 0xC02C, 0xC030, 0xCCA9,
                                                  0xCCA8, 0xC013, 0xC014, 0x009C, 0x009D, 0x002F, 0x0035}));
    EXPECT_EQ(hello.groups, (QList<quint16>{0x001D, 0x0017, 0x0018}));
    EXPECT_EQ(hello.signatureAlgorithms,
              (QList<quint16>{0x0403, 0x0804, 0x0401, 0x0503, 0x0805, 0x0501, 0x0806, 0x0601}));
    EXPECT_EQ(hello.versions, (QList<quint16>{0x0304, 0x0303}));
    EXPECT_EQ(hello.alpn, (QList<QByteArray>{"h2", "http/1.1"}));
    // Closer to Chrome's: no NPN (13172), padding (21) or encrypt_then_mac
    // (22); status_request (5) and signed_certificate_timestamp (18) asked.
    EXPECT_TRUE(shapeTlsHelloLikeChrome()) << tlsHelloState().toStdString();
    for (const quint16 absent : {quint16(13172), quint16(21), quint16(22)})
        EXPECT_FALSE(hello.extensions.contains(absent)) << absent;
    for (const quint16 present : {quint16(0), quint16(5), quint16(10), quint16(13), quint16(16), quint16(18),
                                  quint16(43), quint16(45), quint16(51)})
        EXPECT_TRUE(hello.extensions.contains(present)) << present;
    EXPECT_TRUE(tlsHelloState().startsWith(QStringLiteral("closer to Chrome's: "))) << tlsHelloState().toStdString();

    // A list of the user's own goes on the wire as given.
    EXPECT_TRUE(client.setTlsCiphers(QStringLiteral("TLS_AES_256_GCM_SHA384:ECDHE-RSA-AES128-GCM-SHA256"),
                                     QStringLiteral("--tls-ciphers"))
                    .isEmpty());
    client.newRun();
    client.get(page);
    ASSERT_EQ(tls.hellos().size(), 2);
    hello = tls.hellos().last();
    hello.cipherSuites.removeAll(0x00FF);
    EXPECT_EQ(hello.cipherSuites, (QList<quint16>{0x1302, 0xC02F}));
    EXPECT_EQ(hello.versions, (QList<quint16>{0x0304, 0x0303}));

    // Suites of one version only: exactly those, and only that version.
    const struct {
        const char* list;
        QList<quint16> suites, versions;
    } oneVersion[] = {
        {"TLS_AES_128_GCM_SHA256", {0x1301}, {0x0304}},
        {"TLS_CHACHA20_POLY1305_SHA256:TLS_AES_128_GCM_SHA256", {0x1303, 0x1301}, {0x0304}},
        {"ECDHE-RSA-AES128-GCM-SHA256:AES128-SHA", {0xC02F, 0x002F}, {}},
    };
    for (const auto& [list, suites, versions] : oneVersion) {
        ASSERT_TRUE(client.setTlsCiphers(QString::fromLatin1(list), QStringLiteral("--tls-ciphers")).isEmpty());
        client.newRun();
        client.get(page);
        hello = tls.hellos().last();
        hello.cipherSuites.removeAll(0x00FF);
        EXPECT_EQ(hello.cipherSuites, suites) << list;
        EXPECT_EQ(hello.versions, versions) << list << " (no supported_versions: TLS 1.2 alone)";
    }

    // One that cannot be used sends nothing at all.
    const QString why = client.setTlsCiphers(QStringLiteral("DEFAULT"), QStringLiteral("The \"TLS Ciphers\" setting"));
    EXPECT_TRUE(why.startsWith(QStringLiteral("The \"TLS Ciphers\" setting cannot be used: "))) << why.toStdString();
    EXPECT_EQ(client.setupError(), why);
    EXPECT_EQ(client.get(page).error, why);
    QTest::qWait(50);
    EXPECT_EQ(tls.hellos().size(), 5);
}

TEST(BrowserIdentity, aPageIsAskedForWithChromesHeadersUnlessTheUserAgentIsAnothers)
{
    QuoteServer server([](const Request&) { return Response{}; });
    QtHttpClient client(quickLimits(), false);
    ASSERT_TRUE(client.get(QUrl(QStringLiteral("http://") + server.host() + QStringLiteral("/q?s=ABC"))).ok);
    const auto& h = server.requests().last().headers;
    const QByteArray major = QByteArray::number(chromeMajorVersionOn(QDate::currentDate()));
    EXPECT_EQ(h.value("user-agent"), chromeUserAgent(major.toInt()));
    EXPECT_TRUE(h.value("sec-ch-ua").contains(QByteArray("\"Google Chrome\";v=\"" + major + '"'))) << h.value("sec-ch-ua").constData();
    EXPECT_TRUE(h.value("sec-ch-ua").contains(QByteArray("\"Chromium\";v=\"" + major + '"')));
    const std::pair<const char*, const char*> fixed[] = {
        {"sec-ch-ua-mobile", "?0"}, {"sec-ch-ua-platform", "\"Linux\""}, {"upgrade-insecure-requests", "1"},
        {"sec-fetch-site", "none"}, {"sec-fetch-mode", "navigate"},      {"sec-fetch-user", "?1"},
        {"sec-fetch-dest", "document"},
        {"accept", "text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,image/apng,*/*;q=0.8,"
                   "application/signed-exchange;v=b3;q=0.7"},
    };
    for (const auto& [name, value] : fixed)
        EXPECT_EQ(h.value(name), QByteArray(value)) << name;
    EXPECT_EQ(h.value("accept-language"), acceptLanguageFor(QLocale::system()));
    EXPECT_FALSE(h.contains("origin") || h.contains("referer"));
    // Over HTTP/1.1 in Chrome's order: Host, Connection, then the rest; the
    // priority of a navigation last.
    const QList<QByteArray>& order = server.requests().last().headerOrder;
    ASSERT_GE(order.size(), 3);
    EXPECT_EQ(order.mid(0, 3), (QList<QByteArray>{"host", "connection", "sec-ch-ua"})) << order.join(' ').constData();
    EXPECT_EQ(h.value("connection"), "keep-alive");
    EXPECT_EQ(order.count("connection"), 1);
    EXPECT_EQ(h.value("priority"), "u=0, i");

    ASSERT_TRUE(client.setUserAgent(QStringLiteral("Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0")));
    ASSERT_TRUE(client.get(QUrl(QStringLiteral("http://") + server.host() + QStringLiteral("/q?s=ABC"))).ok);
    EXPECT_FALSE(server.requests().last().headers.contains("sec-ch-ua")) << "no hints that contradict the User-Agent";
    EXPECT_TRUE(server.requests().last().headers.value("user-agent").endsWith("Firefox/133.0"));
}

// The shaped hello completes a handshake, TLS 1.3 and 1.2, with a server that
// staples no OCSP answer and sends no SCT (OpenSSL's own test server).
TEST(BrowserIdentity, theShapedHelloCompletesAHandshakeWithAServerThatStaplesNothing)
{
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        GTEST_SKIP() << "the openssl command is not installed";
    QTemporaryDir dir;
    const QString cert = dir.filePath(QStringLiteral("cert.pem")), key = dir.filePath(QStringLiteral("key.pem"));
    QProcess make;
    make.start(QStringLiteral("openssl"),
               {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                QStringLiteral("-addext"), QStringLiteral("subjectAltName=DNS:localhost"), QStringLiteral("-keyout"), key,
                QStringLiteral("-out"), cert});
    ASSERT_TRUE(make.waitForFinished(30000) && make.exitCode() == 0) << make.readAllStandardError().constData();
    // This test's server is trusted as the system's authorities are.
    const QSslConfiguration before = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusted = before;
    trusted.addCaCertificates(cert);
    QSslConfiguration::setDefaultConfiguration(trusted);
    // TLS 1.3 and 1.2; the test server takes no ALPN, so HTTP/1.1.
    for (const char* version : {"-tls1_3", "-tls1_2"}) {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess server;
        QStringList arguments{QStringLiteral("s_server"), QStringLiteral("-accept"), QString::number(port),
                              QStringLiteral("-cert"), cert, QStringLiteral("-key"), key, QStringLiteral("-www"),
                              QString::fromLatin1(version), QStringLiteral("-quiet")};
        server.start(QStringLiteral("openssl"), arguments);
        ASSERT_TRUE(server.waitForStarted(10000));
        QTest::qWait(500);
        QtHttpClient client(quickLimits(), false);
        QStringList trace;
        client.trace = [&](const QString& line) { trace << line; };
        const HttpResult r = client.get(QUrl(QStringLiteral("https://localhost:%1/").arg(port)));
        EXPECT_NE(r.failure, FetchFailure::Unreachable) << r.error.toStdString();
        server.kill();
        server.waitForFinished(5000);
        // The handshake is done when the connection is told (the test
        // server's page has no end the client could wait for).
        const QString line = trace.filter(QStringLiteral("connection: ")).value(0);
        EXPECT_TRUE(line.startsWith(QStringLiteral("connection: TLS 1.%1, ").arg(QLatin1Char(version[6]))) &&
                    line.endsWith(QLatin1String("HTTP/1.1")))
            << line.toStdString();
        const QString expected = QStringLiteral("connection: TLS 1.%1, ").arg(QLatin1Char(version[6]));
        EXPECT_TRUE(trace.join(QLatin1Char('\n')).contains(expected))
            << version << ": " << r.error.toStdString() << "\n" << trace.join(QLatin1Char('\n')).toStdString();
    }
    // HTTP/2, chosen by ALPN, with a server that speaks nothing else.
    const QString python = QStringLiteral("/usr/bin/python3");
    QProcess check;
    check.start(python, {QStringLiteral("-c"), QStringLiteral("import h2")});
    if (check.waitForFinished(10000) && check.exitCode() == 0) {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        QProcess server;
        server.start(python, {QStringLiteral(LARKSPIRE_SOURCE_DIR "/tests/net/h2_server.py"), QString::number(port),
                              cert, key});
        ASSERT_TRUE(server.waitForReadyRead(10000)) << server.readAllStandardError().constData();
        QtHttpClient client(quickLimits(), false);
        QStringList trace;
        client.trace = [&](const QString& line) { trace << line; };
        const HttpResult r = client.get(QUrl(QStringLiteral("https://localhost:%1/").arg(port)));
        server.kill();
        server.waitForFinished(5000);
        EXPECT_TRUE(r.ok) << r.error.toStdString() << "\n" << trace.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(trace.filter(QStringLiteral("connection: ")).value(0).endsWith(QStringLiteral("HTTP/2")))
            << trace.join(QLatin1Char('\n')).toStdString();
    } else {
        ADD_FAILURE() << "python3-h2 is not installed (scripts/setup --test installs it)";
    }
    QSslConfiguration::setDefaultConfiguration(before);
}
