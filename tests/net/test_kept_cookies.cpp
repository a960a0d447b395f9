// The service's cookies kept between runs in a private file of the cache
// folder, and every file there that is not ours left alone.
#include "net/kept_cookies.h"

#include <QDir>
#include <QFile>
#include <QNetworkCookie>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace larkspire;

namespace {

const QUrl kPage(QStringLiteral("https://finance.yahoo.com/quote/ABC/"));

QStringList keptNames(const QString& file)
{
    KeptCookieJar jar(file, QStringLiteral("yahoo.com"));
    return cookieNamesFor(&jar, kPage);
}

} // namespace

TEST(KeptCookies, onlyTheServicesLastingCookiesOutliveARunInAPrivateFile)
{
    QTemporaryDir dir;
    const QString file = dir.path() + QStringLiteral("/cache/larkspire/cookies");
    {
        KeptCookieJar jar(file, QStringLiteral("yahoo.com"));
        jar.setCookiesFromUrl(QNetworkCookie::parseCookies("A1=d=AQAB&S=x; Max-Age=31536000; Domain=.yahoo.com; Path=/"),
                              kPage);
        jar.setCookiesFromUrl(QNetworkCookie::parseCookies("GUCS=session; Path=/"), kPage);
        jar.setCookiesFromUrl(QNetworkCookie::parseCookies("EU=1; Max-Age=3600; Path=/"),
                              QUrl(QStringLiteral("https://consent.yahoo.com/v2/collectConsent")));
        jar.setCookiesFromUrl(QNetworkCookie::parseCookies("T=track; Max-Age=3600; Path=/"),
                              QUrl(QStringLiteral("https://ads.example.com/")));
        EXPECT_EQ(cookieNamesFor(&jar, kPage).size(), 2) << "both sent within the run";
        jar.save();
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(dir.path() + QStringLiteral("/cache/larkspire")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(keptNames(file), QStringList{QStringLiteral("A1")});
    QFile kept(file);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    const QByteArray text = kept.readAll();
    EXPECT_FALSE(text.contains("GUCS") || text.contains("ads.example.com")) << text.constData();
    EXPECT_TRUE(text.contains("EU=1")) << "another host of the service's keeps its own";
}

TEST(KeptCookies, aFileThatIsNotOursIsIgnoredAndNothingIsLost)
{
    QTemporaryDir dir;
    const QString good = dir.path() + QStringLiteral("/good");
    {
        KeptCookieJar jar(good, QStringLiteral("yahoo.com"));
        jar.setCookiesFromUrl(QNetworkCookie::parseCookies("A1=v; Max-Age=3600; Domain=.yahoo.com; Path=/"), kPage);
        jar.save();
    }
    const QString folder = dir.path() + QStringLiteral("/folder");
    QDir().mkpath(folder + QStringLiteral("/inside"));
    const QString link = dir.path() + QStringLiteral("/link");
    QFile::link(good, link);
    const QString damaged = dir.path() + QStringLiteral("/damaged");
    const QString large = dir.path() + QStringLiteral("/large");
    const QString foreign = dir.path() + QStringLiteral("/foreign");
    auto write = [](const QString& path, const QByteArray& bytes) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write(damaged, QByteArray("larkspire cookies 1\ncookie\t\xff\x00garbage;;==\n", 38) + QByteArray(100, '\0'));
    write(large, "larkspire cookies 1\n");
    ASSERT_TRUE(QFile::resize(large, 50 << 20));
    write(foreign, "larkspire cookies 1\ncookie\tT=x; expires=Fri, 01-Jan-2100 00:00:00 GMT; domain=.example.com; path=/\n");

    for (const QString& path : {folder, link, damaged, large, foreign}) {
        EXPECT_TRUE(keptNames(path).isEmpty()) << path.toStdString();
        KeptCookieJar jar(path, QStringLiteral("yahoo.com"));
        jar.setCookiesFromUrl(QNetworkCookie::parseCookies("B=w; Max-Age=3600; Path=/"), kPage);
        jar.save();
    }
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/inside")).isDir()) << "a folder is left as it is";
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(keptNames(good), QStringList{QStringLiteral("A1")}) << "nothing is written through a link";
    for (const QString& path : {damaged, large, foreign})
        EXPECT_EQ(keptNames(path), QStringList{QStringLiteral("B")}) << "replaced by a good one: " << path.toStdString();
}

// What a later run reads back: a token beside the cookies only as one can
// be, and never a cookie that would end its header and start another.
TEST(KeptCookies, theTokenIsKeptAndNoCookieCarriesAControlCharacter)
{
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/cookies");
    const QUrl crumbAt(QStringLiteral("https://query1.finance.yahoo.com/v1/test/getcrumb"));
    {
        KeptCookieJar jar(path, QStringLiteral("yahoo.com"));
        jar.keepToken({QStringLiteral("dxm/Hnt0.ZGCL"), crumbAt});
        jar.keepToken({QStringLiteral("no\tgood"), crumbAt}); // not a token: the kept one stays
        jar.setCookiesFromUrl(QNetworkCookie::parseCookies("A1=v; Max-Age=3600; Domain=.yahoo.com; Path=/"), kPage);
        jar.save();
    }
    EXPECT_EQ(KeptCookieJar(path, QStringLiteral("yahoo.com")).keptToken().value, QStringLiteral("dxm/Hnt0.ZGCL"));
    EXPECT_EQ(KeptCookieJar(path, QStringLiteral("yahoo.com")).keptToken().at, crumbAt);

    const QByteArray expiry = "; expires=Fri, 01-Jan-2100 00:00:00 GMT; domain=.yahoo.com; path=/\n";
    const QByteArray lines[] = {
        "cookie\tK=a\rX-Injected: 1" + expiry, "cookie\tK=a\nX" + expiry, QByteArray("cookie\tK=a\0b", 12) + expiry,
        "cookie\tK=a\x1b[31m" + expiry, "cookie\tK\x7f=a" + expiry, "token\tbad token\thttps://q/\n",
        "token\tgood\tftp://q/\n", "cookie\tGOOD=1" + expiry,
    };
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("larkspire cookies 1\n");
    for (const QByteArray& line : lines)
        f.write(line);
    f.close();
    KeptCookieJar jar(path, QStringLiteral("yahoo.com"));
    EXPECT_EQ(cookieNamesFor(&jar, kPage), QStringList{QStringLiteral("GOOD")});
    EXPECT_TRUE(jar.keptToken().value.isEmpty());
}
