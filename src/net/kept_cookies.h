#pragma once
// The quote service's cookies kept between runs, as a browser keeps them,
// with the address its permanent redirect leads a quote URL to:
// a cookie with an expiry (the consent answer, the service's own) is stored
// in a file of the user's cache folder that only its owner can read, and
// sent again by later runs until it expires. Session cookies stay in memory;
// cookies of other domains are never stored. A file that is damaged, too
// large, a link or a folder is ignored, never a reason to fail a run.
#include "net/http_client.h"

#include <QNetworkCookieJar>
#include <QString>
#include <QStringList>

#include <optional>

namespace larkspire {

class KeptCookieJar final : public QNetworkCookieJar {
    Q_DISABLE_COPY_MOVE(KeptCookieJar)
public:
    // `file` is where the cookies are kept; only those of `domain` (and its
    // subdomains) are kept.
    KeptCookieJar(QString file, QString domain, QObject* parent = nullptr);
    // Writes the kept cookies when they changed since they were read or last
    // written: the whole file replaced at once, readable by its owner alone.
    void save();
    bool setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url) override;

    // Where the service's permanent redirect leads a quote URL, as learned
    // by an earlier run (the text before and after the symbol), and whether
    // it is the page's own address reached after a 404.
    struct Address {
        QByteArray before;
        QByteArray after;
        bool pageAddress = false;
    };
    std::optional<Address> keptAddress() const { return m_address; }
    // Kept with the cookies from now on; nothing forgets it.
    void keepAddress(const std::optional<Address>& address);
    // A token the service handed out (letters, digits and ".", "/", "_",
    // "-", at most 64), kept beside the cookies; an empty one forgets it.
    KeptToken keptToken() const { return m_token; }
    void keepToken(const KeptToken& token);

private:
    bool kept(const QNetworkCookie& cookie) const;
    void load();

    QString m_file;
    std::optional<Address> m_address;
    KeptToken m_token;
    QString m_domain;
    bool m_changed = false;
};

// The names (never the values) of the cookies a request to `url` carries.
QStringList cookieNamesFor(const QNetworkCookieJar* jar, const QUrl& url);

} // namespace larkspire
