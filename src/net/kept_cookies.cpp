#include "net/kept_cookies.h"

#include "core/descriptor_io.h"


#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QNetworkCookie>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspire {

namespace {

const QByteArray kFirstLine = "larkspire cookies 1";
constexpr qint64 kMaxFileBytes = 1 << 20; // far more than a service's cookies need
constexpr int kMaxCookies = 300;

// The whole of a regular file that is no link and not too large; nothing
// otherwise.
std::optional<QByteArray> readPlainFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<QByteArray> out;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileBytes) {
        QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
        qsizetype got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        bytes.truncate(got);
        out = std::move(bytes);
    }
    ::close(fd);
    return out;
}

// Replaces `path` with `bytes` at once, in a file only its owner may read.
// Leaves anything that is not a plain file (a link, a folder) alone.
bool replacePlainFile(const QString& path, const QByteArray& bytes)
{
    const QByteArray target = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(target.constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return false;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(QFileInfo(folder).absolutePath()))
        return false;
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    QByteArray temporary = QFile::encodeName(folder) + "/.cookies-XXXXXX";
    const int fd = ::mkstemp(temporary.data()); // mode 600
    if (fd < 0)
        return false;
    const bool written = writeFully(fd, bytes) == 0 && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temporary.constData(), target.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

// A piece of an encoded URL that can stand in the file: printable, no
// blank, not over-long.
bool hasControlCharacter(const QByteArray& bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x20 || c == 0x7F; });
}

bool usableToken(const QByteArray& token)
{
    return !token.isEmpty() && token.size() <= 64 && std::all_of(token.begin(), token.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '/' ||
               c == '_' || c == '-';
    });
}

bool usableAddressPart(const QByteArray& part)
{
    return part.size() <= 2048 && std::all_of(part.begin(), part.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

} // namespace

KeptCookieJar::KeptCookieJar(QString file, QString domain, QObject* parent)
    : QNetworkCookieJar(parent), m_file(std::move(file)), m_domain(std::move(domain))
{
    load();
}

bool KeptCookieJar::kept(const QNetworkCookie& cookie) const
{
    QString domain = cookie.domain().toLower();
    if (domain.startsWith(QLatin1Char('.')))
        domain.remove(0, 1);
    const bool service = !m_domain.isEmpty() && (domain == m_domain || domain.endsWith(QLatin1Char('.') + m_domain));
    return service && !cookie.isSessionCookie() && cookie.expirationDate() > QDateTime::currentDateTimeUtc();
}

void KeptCookieJar::load()
{
    const auto bytes = readPlainFile(m_file);
    if (!bytes || !bytes->startsWith(QByteArray(kFirstLine + '\n')))
        return; // nothing kept yet, or nothing this program can use: the next save replaces it
    QList<QNetworkCookie> cookies;
    for (const QByteArray& line : bytes->split('\n')) {
        if (line.startsWith("address\t")) {
            const QList<QByteArray> parts = line.split('\t');
            if (parts.size() == 4 && usableAddressPart(parts[1]) && usableAddressPart(parts[2]) &&
                (parts[1].startsWith("http://") || parts[1].startsWith("https://")))
                m_address = Address{parts[1], parts[2], parts[3] == "page"};
            continue;
        }
        if (line.startsWith("token\t")) {
            const QList<QByteArray> parts = line.split('\t');
            const QUrl at = parts.size() == 3 ? QUrl::fromEncoded(parts[2], QUrl::StrictMode) : QUrl();
            if (usableToken(parts.value(1)) && (at.scheme() == QStringLiteral("http") || at.scheme() == QStringLiteral("https")))
                m_token = KeptToken{QString::fromLatin1(parts[1]), at};
            continue;
        }
        if (!line.startsWith("cookie\t"))
            continue;
        // A name or value with a control character in it would end the
        // Cookie header early and start another: such a cookie is dropped.
        for (const QNetworkCookie& cookie : QNetworkCookie::parseCookies(line.mid(7)))
            if (kept(cookie) && !cookie.domain().isEmpty() && cookies.size() < kMaxCookies &&
                !hasControlCharacter(cookie.name()) && !hasControlCharacter(cookie.value()))
                cookies.append(cookie);
    }
    setAllCookies(cookies);
}

bool KeptCookieJar::setCookiesFromUrl(const QList<QNetworkCookie>& cookies, const QUrl& url)
{
    const bool added = QNetworkCookieJar::setCookiesFromUrl(cookies, url);
    m_changed = m_changed || added;
    return added;
}

void KeptCookieJar::save()
{
    if (!m_changed || m_file.isEmpty())
        return;
    QByteArray text = kFirstLine + '\n';
    if (m_address)
        text += "address\t" + m_address->before + '\t' + m_address->after + '\t' +
                (m_address->pageAddress ? "page" : "hop") + '\n';
    if (!m_token.value.isEmpty())
        text += "token\t" + m_token.value.toLatin1() + '\t' + m_token.at.toEncoded() + '\n';
    int count = 0;
    for (const QNetworkCookie& cookie : allCookies()) {
        const QByteArray raw = cookie.toRawForm(QNetworkCookie::Full);
        if (kept(cookie) && !raw.contains('\n') && !raw.contains('\r') && count++ < kMaxCookies)
            text += "cookie\t" + raw + '\n';
    }
    // A failure leaves the file as it was: the cookies are sent this run and
    // asked for again by the next.
    m_changed = !replacePlainFile(m_file, text);
}

void KeptCookieJar::keepToken(const KeptToken& token)
{
    const QByteArray at = token.at.toEncoded();
    if ((token.value == m_token.value && token.at == m_token.at) ||
        (!token.value.isEmpty() && (!usableToken(token.value.toLatin1()) || !usableAddressPart(at))))
        return;
    m_token = token;
    m_changed = true;
}

void KeptCookieJar::keepAddress(const std::optional<Address>& address)
{
    const bool usable = !address || (usableAddressPart(address->before) && usableAddressPart(address->after));
    if (!usable)
        return;
    m_address = address;
    m_changed = true;
}

QStringList cookieNamesFor(const QNetworkCookieJar* jar, const QUrl& url)
{
    QStringList names;
    if (!jar)
        return names;
    for (const QNetworkCookie& cookie : jar->cookiesForUrl(url)) {
        QString name = QString::fromLatin1(cookie.name());
        name.removeIf([](QChar c) { return c.unicode() < 0x21 || c.unicode() > 0x7E; });
        names << name.left(64);
    }
    return names;
}

} // namespace larkspire
