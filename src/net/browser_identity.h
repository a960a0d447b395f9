#pragma once
// How the program looks to the quote service: as the Chrome on Linux that its
// User-Agent names. The service refuses clients whose TLS handshake or
// headers give them away as scripts, so the handshake offers Chrome's cipher
// suites, groups and signature algorithms in Chrome's order, and a page is
// asked for with the headers Chrome sends when a user types an address.
#include <QByteArray>
#include <QDate>
#include <QList>
#include <QLocale>
#include <QPair>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <optional>

namespace larkspire {

// Chrome's cipher suites in Chrome's order (OpenSSL's names).
inline const QString kChromeCiphers = QStringLiteral(
    "TLS_AES_128_GCM_SHA256:TLS_AES_256_GCM_SHA384:TLS_CHACHA20_POLY1305_SHA256:"
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:ECDHE-ECDSA-AES256-GCM-SHA384:"
    "ECDHE-RSA-AES256-GCM-SHA384:ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305:"
    "ECDHE-RSA-AES128-SHA:ECDHE-RSA-AES256-SHA:AES128-GCM-SHA256:AES256-GCM-SHA384:AES128-SHA:AES256-SHA");
inline const QByteArray kChromeGroups = "X25519:P-256:P-384";
inline const QByteArray kChromeSignatureAlgorithms =
    "ecdsa_secp256r1_sha256:rsa_pss_rsae_sha256:rsa_pkcs1_sha256:ecdsa_secp384r1_sha384:"
    "rsa_pss_rsae_sha384:rsa_pkcs1_sha384:rsa_pss_rsae_sha512:rsa_pkcs1_sha512";

// The major version of Chrome to name on a day: 131 shipped on 2024-11-12
// and a new one ships every four weeks; the one before the newest the
// calendar gives, so the name is one that real browsers have.
int chromeMajorVersionOn(const QDate& day);
// Chrome's own reduced User-Agent on Linux for a major version.
QByteArray chromeUserAgent(int majorVersion);

// The client hints Chrome sends beside its User-Agent; nothing for a
// User-Agent that is not Chrome's, as the hints would contradict it.
struct ClientHints {
    QByteArray brands;   // sec-ch-ua
    QByteArray mobile;   // sec-ch-ua-mobile
    QByteArray platform; // sec-ch-ua-platform
};
std::optional<ClientHints> clientHintsFor(const QByteArray& userAgent);

// "de-DE,de;q=0.9,en;q=0.8": the user's language first, English after it.
QByteArray acceptLanguageFor(const QLocale& locale);

// The headers of a page request, in Chrome's order. A form's answer is
// posted as a browser posts it from the form's page (`formPage`); any other
// request is a page the user asked for (`formPage` empty), and so is every
// redirect that follows one.
struct PageRequest {
    QUrl url;
    QUrl formPage; // the form's page, for its answer and the redirects after it
    bool post = false;
    QUrl fetchedFrom; // a data request: the page whose script fetches it (the headers of Chrome's fetch())
};
QList<QPair<QByteArray, QByteArray>> pageRequestHeaders(const QByteArray& userAgent, const QByteArray& acceptLanguage,
                                                        const PageRequest& request);

// The TLS configuration of every connection to the service: Chrome's
// groups, signature algorithms and the cipher suites given (OpenSSL's names,
// separated by ":"), TLS 1.2 and 1.3, the system's certificate checks.
// Refused with the reason when a suite is one this computer's OpenSSL does
// not know, or when none is given.
struct TlsChoice {
    QSslConfiguration configuration;
    QString error; // empty when the suites are usable
};
TlsChoice browserTls(const QString& ciphers = kChromeCiphers);

} // namespace larkspire
