#include "net/browser_identity.h"

#include "net/body_inflater.h"

#include <QRegularExpression>
#include <QSslCipher>

#include <algorithm>

namespace larkspire {

int chromeMajorVersionOn(const QDate& day)
{
    // One behind the newest the calendar gives: a new version takes weeks to
    // reach every browser, and holidays have delayed releases.
    static const QDate shipped131(2024, 11, 12);
    const qint64 days = shipped131.daysTo(day);
    return days < 56 ? 131 : 131 + int(days / 28) - 1;
}

QByteArray chromeUserAgent(int majorVersion)
{
    return "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/" +
           QByteArray::number(majorVersion) + ".0.0.0 Safari/537.36";
}

namespace {

// Chrome lists a made-up brand beside its two real ones so that servers do
// not depend on the list's shape; name, version and order follow from the
// major version, so they change with every release as Chrome's do.
QByteArray brandList(int major)
{
    static const char greaseChars[] = {' ', '(', ':', '-', '.', '/', ')', ';', '=', '?', '_'};
    static const char* const greaseVersions[] = {"8", "99", "24"};
    static const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    const int n = int(sizeof greaseChars);
    const QByteArray version = QByteArray::number(major);
    const QByteArray grease = QByteArray("Not") + greaseChars[major % n] + 'A' + greaseChars[(major + 1) % n] + "Brand";
    QByteArray entries[3];
    const int* order = orders[major % 6];
    entries[order[0]] = '"' + grease + "\";v=\"" + greaseVersions[major % 3] + '"';
    entries[order[1]] = "\"Chromium\";v=\"" + version + '"';
    entries[order[2]] = "\"Google Chrome\";v=\"" + version + '"';
    return entries[0] + ", " + entries[1] + ", " + entries[2];
}

QByteArray platformOf(const QByteArray& userAgent)
{
    if (userAgent.contains("Android"))
        return "\"Android\"";
    if (userAgent.contains("CrOS"))
        return "\"Chrome OS\"";
    if (userAgent.contains("Windows"))
        return "\"Windows\"";
    if (userAgent.contains("Macintosh") || userAgent.contains("Mac OS X"))
        return "\"macOS\"";
    if (userAgent.contains("Linux") || userAgent.contains("X11"))
        return "\"Linux\"";
    return "\"Unknown\"";
}

} // namespace

std::optional<ClientHints> clientHintsFor(const QByteArray& userAgent)
{
    // Other browsers built on Chromium name brands of their own, which we
    // cannot know; Firefox and Safari send no hints at all.
    for (const char* other : {"Edg/", "EdgA/", "OPR/", "Firefox/", "FxiOS/", "CriOS/", "SamsungBrowser/", "YaBrowser/"})
        if (userAgent.contains(other))
            return std::nullopt;
    static const QRegularExpression chrome(QStringLiteral("\\bChrome/(\\d{1,4})\\."));
    const QRegularExpressionMatch match = chrome.match(QString::fromLatin1(userAgent));
    if (!match.hasMatch())
        return std::nullopt;
    const int major = match.captured(1).toInt();
    return ClientHints{brandList(major), userAgent.contains("Mobile") ? "?1" : "?0", platformOf(userAgent)};
}

QByteArray acceptLanguageFor(const QLocale& locale)
{
    const QString name = locale.name(); // "de_DE"; "C" for the C locale
    const QByteArray language = name.section(QLatin1Char('_'), 0, 0).toLatin1();
    const QByteArray territory = name.section(QLatin1Char('_'), 1, 1).toLatin1();
    const bool letters = !language.isEmpty() && language.size() <= 3 &&
                         std::all_of(language.begin(), language.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    if (!letters || language == "en")
        return (letters && !territory.isEmpty() ? "en-" + territory : QByteArray("en-US")) + ",en;q=0.9";
    const QByteArray tag = territory.isEmpty() ? language : language + '-' + territory;
    return tag + (tag == language ? QByteArray() : "," + language + ";q=0.9") + ",en;q=0.8";
}

namespace {

// What Chrome's fetch() from a page sends for a cross-origin GET of the
// same site: no navigation headers, the page's origin and address.
QList<QPair<QByteArray, QByteArray>> dataRequestHeaders(const QByteArray& userAgent, const QByteArray& acceptLanguage,
                                                        const PageRequest& request)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    auto add = [&headers](const QByteArray& name, const QByteArray& value) { headers.append({name, value}); };
    const QUrl& page = request.fetchedFrom;
    const QByteArray origin =
        page.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toEncoded();
    const auto hints = clientHintsFor(userAgent);
    add("Connection", "keep-alive"); // after Host, as Chrome sends them over HTTP/1.1 (HTTP/2 drops it)
    if (hints)
        add("sec-ch-ua-platform", hints->platform);
    add("User-Agent", userAgent);
    if (hints) {
        add("sec-ch-ua", hints->brands);
        add("sec-ch-ua-mobile", hints->mobile);
    }
    add("Accept", "*/*");
    add("Origin", origin);
    add("Sec-Fetch-Site", "same-site");
    add("Sec-Fetch-Mode", "cors");
    add("Sec-Fetch-Dest", "empty");
    add("Referer", page.adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo).toEncoded());
    add("Accept-Encoding", kAcceptedEncodings);
    add("Accept-Language", acceptLanguage);
    add("Priority", "u=1, i");
    return headers;
}

} // namespace

QList<QPair<QByteArray, QByteArray>> pageRequestHeaders(const QByteArray& userAgent, const QByteArray& acceptLanguage,
                                                        const PageRequest& request)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    auto add = [&headers](const QByteArray& name, const QByteArray& value) { headers.append({name, value}); };
    if (request.fetchedFrom.isValid())
        return dataRequestHeaders(userAgent, acceptLanguage, request);
    const bool fromForm = request.formPage.isValid();
    const bool post = fromForm && request.post;
    const QUrl& form = request.formPage;
    const bool sameOrigin = fromForm && form.scheme() == request.url.scheme() && form.host() == request.url.host() &&
                            form.port() == request.url.port();
    add("Connection", "keep-alive"); // after Host, as Chrome sends them over HTTP/1.1 (HTTP/2 drops it)
    if (post)
        add("Cache-Control", "max-age=0");
    if (const auto hints = clientHintsFor(userAgent)) {
        add("sec-ch-ua", hints->brands);
        add("sec-ch-ua-mobile", hints->mobile);
        add("sec-ch-ua-platform", hints->platform);
    }
    const QByteArray origin =
        form.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toEncoded();
    if (post) {
        add("Origin", origin);
        add("Content-Type", "application/x-www-form-urlencoded");
    }
    add("Upgrade-Insecure-Requests", "1");
    add("User-Agent", userAgent);
    add("Accept", "text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,image/apng,*/*;q=0.8,"
                  "application/signed-exchange;v=b3;q=0.7");
    add("Sec-Fetch-Site", QByteArray(!fromForm ? "none" : sameOrigin ? "same-origin" : "same-site"));
    add("Sec-Fetch-Mode", "navigate");
    add("Sec-Fetch-User", "?1");
    add("Sec-Fetch-Dest", "document");
    if (fromForm) // the whole address to its own origin, only the origin elsewhere
        add("Referer", sameOrigin ? form.adjusted(QUrl::RemoveFragment | QUrl::RemoveUserInfo).toEncoded() : origin + '/');
    add("Accept-Encoding", kAcceptedEncodings); // unpacked by the client itself (body_inflater.h)
    add("Accept-Language", acceptLanguage);
    add("Priority", "u=0, i");
    return headers;
}

namespace {
// TLS 1.3's suites are named "TLS_..." by OpenSSL, and only they are.
bool isTls13(const QSslCipher& cipher) { return cipher.name().startsWith(QStringLiteral("TLS_")); }
} // namespace

TlsChoice browserTls(const QString& ciphers)
{
    TlsChoice out;
    out.configuration = QSslConfiguration::defaultConfiguration();
    out.configuration.setProtocol(QSsl::TlsV1_2OrLater);
    if (ciphers.size() > 2048) {
        out.error = QStringLiteral("it is longer than a list of cipher suites can be");
        return out;
    }
    QList<QSslCipher> chosen;
    for (const QString& piece : ciphers.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString name = piece.trimmed();
        if (name.isEmpty())
            continue;
        const bool printable = std::all_of(name.begin(), name.end(), [](QChar c) {
            return c.unicode() > 0x20 && c.unicode() < 0x7F;
        });
        const QSslCipher cipher = printable ? QSslCipher(name) : QSslCipher();
        if (cipher.isNull()) {
            out.error = printable ? QStringLiteral("\"") + name +
                                        QStringLiteral("\" is not a cipher suite this computer's OpenSSL knows (give "
                                                       "OpenSSL's names, separated by \":\")")
                                  : QStringLiteral("it holds characters no cipher suite's name has");
            return out;
        }
        if (!chosen.contains(cipher))
            chosen.append(cipher);
    }
    if (chosen.isEmpty()) {
        out.error = QStringLiteral("it names no cipher suite");
        return out;
    }
    out.configuration.setCiphers(chosen);
    // Only the versions the list has a suite of: OpenSSL would otherwise
    // offer its own default suites of a version the list leaves out.
    const bool tls13 = std::any_of(chosen.begin(), chosen.end(), [](const QSslCipher& c) { return isTls13(c); });
    const bool tls12 = std::any_of(chosen.begin(), chosen.end(), [](const QSslCipher& c) { return !isTls13(c); });
    out.configuration.setProtocol(!tls13 ? QSsl::TlsV1_2 : !tls12 ? QSsl::TlsV1_3OrLater : QSsl::TlsV1_2OrLater);
    out.configuration.setBackendConfigurationOption("Groups", kChromeGroups);
    out.configuration.setBackendConfigurationOption("SignatureAlgorithms", kChromeSignatureAlgorithms);
    return out;
}

} // namespace larkspire
