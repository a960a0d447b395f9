// A page's body from the wire to text: unpacked in every encoding the client
// accepts, decoded into reused memory, and asked whether it is the consent
// form without being decoded whole.
#include "core/text_decoding.h"
#include "net/body_inflater.h"
#include "net/page_body.h"
#include "net/qt_http_client.h"
#include "retrieval/quote_service.h"
#include "quotes/consent_form.h"
#include "quotes/quote_url.h"
#include "support/quote_server.h"

#include <gtest/gtest.h>

#include <brotli/encode.h>
#include <zstd.h>

using namespace larkspire;

namespace {

// The quote service's rules, as the program hands them to its client.
const ServiceRules rules = quoteServiceRules(kQuoteHost);

QByteArray packed(const QByteArray& data, const QByteArray& encoding)
{
    if (encoding == "gzip")
        return test::gzipBytes(data);
    if (encoding == "deflate")
        return test::deflateBytes(data, 15);
    if (encoding == "raw-deflate")
        return test::deflateBytes(data, -15);
    if (encoding == "br") {
        size_t size = BrotliEncoderMaxCompressedSize(size_t(data.size()));
        QByteArray out(qsizetype(size), Qt::Uninitialized);
        BrotliEncoderCompress(5, 22, BROTLI_MODE_TEXT, size_t(data.size()),
                              reinterpret_cast<const uint8_t*>(data.constData()), &size,
                              reinterpret_cast<uint8_t*>(out.data()));
        out.resize(qsizetype(size));
        return out;
    }
    if (encoding == "zstd") {
        QByteArray out(qsizetype(ZSTD_compressBound(size_t(data.size()))), Qt::Uninitialized);
        out.resize(qsizetype(ZSTD_compress(out.data(), size_t(out.size()), data.constData(), size_t(data.size()), 3)));
        return out;
    }
    return data;
}

// Feeds the packed bytes in pieces of `piece` bytes.
BodyInflater::Result unpack(BodyInflater& inflater, const QByteArray& wire, qsizetype piece, QByteArray& out,
                            qsizetype limit = 1 << 30)
{
    for (qsizetype at = 0; at < wire.size(); at += piece)
        if (const auto r = inflater.feed(QByteArrayView(wire).sliced(at, std::min(piece, wire.size() - at)), out, limit); r != BodyInflater::Result::Ok)
            return r;
    return BodyInflater::Result::Ok;
}

QByteArray somePage()
{
    QByteArray page;
    for (int i = 0; page.size() < 300'000; ++i)
        page += "<div class=\"row\">" + QByteArray::number(i * 7919 % 100003) + " \xc3\xa9t\xc3\xa9 </div>\n";
    return page;
}

} // namespace

TEST(BodyInflater, unpacksEveryAcceptedEncodingInAnyPiecesAndRefusesWhatIsWrong)
{
    const QByteArray page = somePage();
    const struct {
        const char* header; // as the server names it
        const char* packer;
    } encodings[] = {{"gzip", "gzip"}, {" GZIP ", "gzip"}, {"deflate", "deflate"}, {"deflate", "raw-deflate"},
                     {"br", "br"},     {"zstd", "zstd"},    {"", ""},               {"identity", ""}};
    for (const auto& e : encodings) {
        const QByteArray wire = packed(page, e.packer);
        for (const qsizetype piece : {qsizetype(1), qsizetype(4093), wire.size()}) {
            if (piece == 1 && wire.size() > 100'000)
                continue; // a byte at a time through a plain page proves nothing more
            BodyInflater inflater;
            ASSERT_TRUE(inflater.start(e.header)) << e.header;
            QByteArray out = QByteArray(10, 'x').first(0); // the buffer's earlier memory is reused
            ASSERT_EQ(unpack(inflater, wire, piece, out), BodyInflater::Result::Ok) << e.packer << " " << piece;
            EXPECT_TRUE(inflater.complete()) << e.packer;
            EXPECT_EQ(out, page) << e.packer << " " << piece;
        }
        if (*e.packer == 0)
            continue;
        // Cut off: not complete. Over the limit: refused.
        BodyInflater cut;
        cut.start(e.header);
        QByteArray out;
        EXPECT_EQ(unpack(cut, wire.first(wire.size() / 2), 1000, out), BodyInflater::Result::Ok) << e.header << e.packer;
        EXPECT_FALSE(cut.complete()) << e.packer;
        BodyInflater bomb;
        bomb.start(e.header);
        out.clear();
        EXPECT_EQ(unpack(bomb, wire, wire.size(), out, 100'000), BodyInflater::Result::TooLarge) << e.packer;
        EXPECT_LE(out.size(), 100'000);
    }
    // Damaged data, and encodings nobody asked for.
    for (const char* encoding : {"gzip", "br", "zstd"}) {
        QByteArray wire = packed(page, encoding);
        for (qsizetype i = 20; i < wire.size() - 8; i += 5)
            wire[i] = char(wire[i] ^ 0x5a);
        BodyInflater inflater;
        inflater.start(encoding);
        QByteArray out;
        const auto r = unpack(inflater, wire, 4096, out);
        EXPECT_TRUE(r == BodyInflater::Result::Damaged || !inflater.complete()) << encoding;
    }
    BodyInflater inflater;
    for (const char* unknown : {"compress", "gzip, br", "x-unknown"})
        EXPECT_FALSE(inflater.start(unknown)) << unknown;
}

// Whether what follows a gzip member is another member is decided once,
// from the same two bytes however the network splits the body.
TEST(BodyInflater, whatFollowsAGzipMemberIsReadTheSameInPiecesOfAnySize)
{
    const QByteArray one = test::gzipBytes("first member;"), two = test::gzipBytes("second member");
    const struct {
        QByteArray body;
        QByteArray text;
    } bodies[] = {
        {one + two, "first member;second member"},
        {one + two + two, "first member;second membersecond member"},
        {one + "xy" + two, "first member;"},            // not a member: nothing after it is read
        {one + "\x1f" + two, "first member;"},          // half a magic number
        {one + "\x1f\x8b", "first member;"},            // a magic number and no member: cut off
        {one + "\n", "first member;"},
        {one + QByteArray(300, '\0') + two, "first member;"},
    };
    for (const auto& [body, text] : bodies) {
        for (qsizetype piece = 1; piece <= 256; ++piece) {
            BodyInflater inflater;
            ASSERT_TRUE(inflater.start("gzip"));
            QByteArray out;
            EXPECT_EQ(unpack(inflater, body, piece, out), BodyInflater::Result::Ok) << piece;
            ASSERT_EQ(out, text) << "pieces of " << piece << ": " << body.toHex().constData();
        }
    }
}

TEST(PageBody, decodesIntoReusedMemoryAsDecodeBodyDoes)
{
    const QByteArray cases[] = {
        "plain ASCII",
        "\xef\xbb\xbf" "a byte order mark first",
        "cut off \xe2\x82",
        "bad \xff\xfe bytes \xc0\xaf and a NUL \0 inside",
        "surrogates \xed\xa0\x80 and four bytes \xf0\x9f\x98\x80",
    };
    QString out(400'000, u'x');
    const QChar* memory = out.constData();
    for (const QByteArray& bytes : cases) {
        for (const QByteArray& type : {QByteArray("text/html; charset=utf-8"), QByteArray(), QByteArray("text/html; charset=windows-1252")}) {
            QString other;
            decodeBodyInto(other, bytes, type);
            EXPECT_EQ(other, decodeBody(bytes, type)) << bytes.constData();
        }
        decodeBodyInto(out, bytes, "text/html");
        EXPECT_EQ(out, QString::fromUtf8(bytes)) << bytes.constData();
        EXPECT_EQ(out.constData(), memory) << "a smaller page took new memory";
    }
}

TEST(PageBody, consentFormIsFoundInTheBytesAsInTheText)
{
    const QByteArray pages[] = {
        "<html><form class=\"consent-form other\" action=\"/v2\"><input name=a value=b></form>",
        "<html><FORM method=post CLASS='x consent-form'>",
        "<form class=\"consent&#45;form\">",
        "<form class=\"search\"><form class=\"consent-form\"",  // no ">": no form
        "<forms class=\"consent-form\">",
        "<form class=\"consentform\">",
        "<p>consent-form</p><form>",
        "\xff\xfe<form class=\"caf\xc3\xa9 consent-form\">",
        "<form",
        "<p>0123456789ab<FORM class='consent-form'>", // across the sixteen-byte blocks
        "<p>0123456789abc<fOrm class='consent-form'>",
    };
    for (const QByteArray& page : pages) {
        for (const QByteArray& type : {QByteArray("text/html; charset=utf-8"), QByteArray("text/html; charset=cp1252")}) {
            const PageBody body{page, type};
            EXPECT_EQ(isConsentBody(body, rules), IsConsentPage(decodeBody(page, type))) << page.constData() << type.constData();
        }
    }
    EXPECT_TRUE(isConsentBody({pages[0], "text/html"}, rules));
    EXPECT_FALSE(isConsentBody({pages[3], "text/html"}, rules));
    // A UTF-16 page has no ASCII markup in its bytes: it is read as text.
    const QString text = QString::fromUtf8(pages[1]);
    const QByteArray utf16(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    EXPECT_TRUE(isConsentBody({utf16, "text/html; charset=utf-16le"}, rules));
}

// The client asks for Chrome's encodings and gives each page back whole, the
// same text whichever way it came; damaged or cut-off data is said to be so.
TEST(PageBody, theClientUnpacksEveryEncodingItAsksFor)
{
    const QByteArray page = somePage();
    QList<QByteArray> accepted;
    test::QuoteServer server([&](const test::Request& r) {
        accepted << r.headers.value("accept-encoding");
        const QString symbol = test::QuoteServer::symbolOf(r);
        const bool damaged = symbol.endsWith(QStringLiteral("-DAMAGED"));
        const bool cut = symbol.endsWith(QStringLiteral("-CUT"));
        QByteArray encoding = symbol.section(u'-', 0, 0).toLower().toLatin1();
        test::Response resp;
        resp.body = packed(page, encoding == "raw" ? QByteArray("raw-deflate") : encoding);
        if (damaged)
            for (qsizetype i = 30; i < resp.body.size() - 8; i += 7)
                resp.body[i] = char(resp.body[i] ^ 0x33);
        if (cut)
            resp.body.truncate(resp.body.size() / 2);
        resp.headers << qMakePair(QByteArray("Content-Encoding"), encoding == "raw" ? QByteArray("deflate") : encoding);
        return resp;
    });
    QtHttpClient client({}, false);
    client.setServiceRules(quoteServiceRules(kQuoteHost));
    for (const char* symbol : {"GZIP", "DEFLATE", "RAW", "BR", "ZSTD"}) {
        const HttpResult r = client.get(quoteUrl(server.host(), QString::fromLatin1(symbol)));
        EXPECT_TRUE(r.ok) << symbol << " " << r.error.toStdString();
        EXPECT_EQ(r.body, QString::fromUtf8(page)) << symbol;
    }
    for (const char* symbol : {"GZIP-DAMAGED", "BR-DAMAGED", "ZSTD-DAMAGED", "GZIP-CUT", "BR-CUT", "ZSTD-CUT"}) {
        const HttpResult r = client.get(quoteUrl(server.host(), QString::fromLatin1(symbol)));
        EXPECT_EQ(r.failure, FetchFailure::Damaged) << symbol;
        EXPECT_FALSE(r.ok) << symbol;
    }
    ASSERT_FALSE(accepted.isEmpty());
    for (const QByteArray& a : accepted)
        EXPECT_EQ(a, "gzip, deflate, br, zstd");
}

// Whether a page names the symbol, read from the head of its bytes, is what
// the whole text says, wherever multi-byte or broken sequences put the
// title against the 256 K characters that are read.
TEST(PageBody, symbolIsFoundInTheHeadAsInTheWholeText)
{
    QString head;
    for (const int before : {262'100, 262'130, 262'135, 262'144, 524'000}) {
        for (const QByteArray& filler : {QByteArray("\xc3\xa9"), QByteArray("\xf0\x9f\x98\x80"), QByteArray("\xff")}) {
            QByteArray page = "<html><head>";
            for (int i = 0; i * filler.size() < before; ++i)
                page += filler;
            page += "<title>Example Corp. (EXA) Stock Price - Yahoo Finance</title></head>";
            page += QByteArray(1'200'000 - page.size() % 1000, 'x');
            const PageBody body{page, "text/html; charset=utf-8"};
            EXPECT_EQ(bodyNamesKey(body, rules, QStringLiteral("EXA"), head),
                      pageNamesSymbol(decodeBody(page, body.contentType), QStringLiteral("EXA")))
                << before << " " << filler.toHex().constData();
        }
    }
    const QByteArray small = "<title>Example Corp. (EXA) Stock Price - Yahoo Finance</title>";
    EXPECT_TRUE(bodyNamesKey({small, "text/html"}, rules, QStringLiteral("EXA"), head));
    EXPECT_FALSE(bodyNamesKey({small, "text/html; charset=cp1252"}, rules, QStringLiteral("EXB"), head));
}
