// Today's quote pages and the cookie consent form, through the real window
// and HTTP client against a local server.
#include "window/retrieval_fixture.h"

#include <QUrlQuery>

using namespace larkspire;
using namespace larkspire::test;

namespace {

QByteArray consentPage(const QByteArray& doneUrl, bool sparse = false)
{
    QByteArray escaped = doneUrl;
    escaped.replace("&", "&amp;").replace("=", "&#x3D;");
    return "<html><head><title>Yahoo is part of the Yahoo family of brands</title></head><body>"
           "<form method=\"post\" class=\"consent-form\" action=\"\">"
           "<input type=\"hidden\" name=\"csrfToken\" value=\"tok+1\">"
           "<input type=\"hidden\" name=\"sessionId\" value=\"3_cc-session_77\">"
           "<input type=\"hidden\" name=\"originalDoneUrl\" value=\"" + escaped + "\">"
           "<input type=\"hidden\" name=\"namespace\" value=\"yahoo\">" +
           (sparse ? QByteArray("<input type=\"hidden\" value=\"orphan\"><input type=\"hidden\" name=\"empty\">"
                                "<button type=\"button\" class=\"scroll\">More</button>")
                   : QByteArray()) +
           "<button type=\"submit\" name=\"agree\" value=\"agree\">Accept all</button>"
           "<button type=\"submit\" name=\"reject\" value=\"reject\">Reject all</button></form></body></html>";
}

Response redirect(const QByteArray& location, const QByteArray& cookie = {})
{
    Response r;
    r.status = 302;
    r.reason = "Found";
    r.headers = {{"Location", location}};
    if (!cookie.isEmpty())
        r.headers.append({"Set-Cookie", cookie});
    return r;
}

} // namespace

class LaterPages : public RetrievalRun {
protected:
    // The service as visitors from the EU see it: every quote request without
    // the consent cookie goes to the form; declining sets the cookie (unless
    // the test says otherwise) and leads back to the quote.
    Response consentService(const Request& r)
    {
        const QByteArray path = r.target.left(r.target.indexOf('?'));
        const bool hasCookie = r.headers.value("cookie").contains("A1=declined");
        const QByteArray symbol = QuoteServer::symbolOf(r).toUtf8();
        if (path == "/q" && !hasCookie)
            return redirect(QByteArray(viaGuce ? "/consent?brandType=nonEu&gcrumb=g1&s="
                                               : "/v2/collectConsent?sessionId=3_cc-session_77&s=") +
                            symbol);
        if (path == "/consent")
            return redirect("/v2/collectConsent?sessionId=3_cc-session_77&s=" + symbol);
        if (path == "/v2/collectConsent" && r.method == "GET") {
            Response page;
            page.body = consentPage("http://" + server->host().toUtf8() + "/q?s=" + symbol + "&guccounter=1", sparseForm);
            return page;
        }
        if (path == "/v2/collectConsent" && r.method == "POST") {
            posts << r.body;
            const QUrlQuery form(QString::fromUtf8(r.body));
            const QByteArray done =
                form.queryItemValue(QStringLiteral("originalDoneUrl"), QUrl::FullyDecoded).toUtf8();
            const QByteArray cookie = setsCookie ? QByteArray("A1=declined; Path=/") : QByteArray();
            if (answersInPlace) { // thanks, and no way back to the quote
                Response thanks;
                thanks.headers.append({"Set-Cookie", cookie});
                thanks.body = "<html><body>Thank you</body></html>";
                return thanks;
            }
            return redirect(done, cookie);
        }
        Response quote;
        quote.body = smallPage(QuoteServer::symbolOf(r), QStringLiteral("Declined Corp."));
        return quote;
    }

    QList<QByteArray> posts;
    bool setsCookie = true;
    bool answersInPlace = false;
    bool viaGuce = false;    // the way to the form leads through guce.yahoo.com first
    bool sparseForm = false; // the form has inputs without a name or a value, and a button of its own
};

TEST_F(LaterPages, eachLayoutThroughTheWindow)
{
    handler = [](const QString& s) {
        PageShape shape;
        shape.symbol = s;
        shape.shortName = s + QStringLiteral(" (Holdings) &amp; Co");
        shape.targetBytes = 150 * 1024;
        shape.layout = s == QStringLiteral("BBB") ? PageLayout::EmbeddedStore : PageLayout::FetchedData;
        if (s == QStringLiteral("CCC"))
            shape.summaryFetchSymbol = QStringLiteral("OTHER");
        Response r;
        r.body = makeQuotePage(shape);
        r.gzip = true;
        return r;
    };
    symbolsAre({"aaa", "BBB", "CCC"});
    window->controls().showNamesCheck->setChecked(false);
    run();
    const QString figures = QStringLiteral("|145.52|145.37|146.83|144.9|84,359,936.00|88,312,465.00|2415.63B|144.84");
    EXPECT_EQ(rows(), (QStringList{QStringLiteral("aaa") + figures, QStringLiteral("BBB") + figures,
                                   QStringLiteral("CCC||||||||")}));
    window->controls().showNamesCheck->setChecked(true);
    run();
    ASSERT_EQ(window->resultsList().count(), 3);
    EXPECT_EQ(window->resultsList().text(1), QStringLiteral("AAA (Holdings) &amp; Co"));
    EXPECT_EQ(window->resultsList().text(2), QStringLiteral("BBB (Holdings) &amp; Co"));
    EXPECT_EQ(dialogs.messageTexts(), (QStringList{QStringLiteral("Done."), QStringLiteral("Done.")}));
}

TEST_F(LaterPages, consentIsDeclinedOnceAsABrowserPostsTheFormAndItsCookieServesEveryLaterRequest)
{
    // The form as it was, and the ways seen since 2025: through guce.yahoo.com
    // first, with inputs that have no name or no value and a button of its own.
    for (const bool newer : {false, true}) {
        restart();
        posts.clear();
        dialogs.messages.clear();
        viaGuce = sparseForm = newer;
        requestHandler = [this](const Request& r) { return consentService(r); };
        window->controls().showNamesCheck->setChecked(false);
        symbolsAre({"AAA", "BBB"});
        run();
        EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")});
        EXPECT_EQ(rows().size(), 2);
        EXPECT_TRUE(rows().value(1).startsWith(QStringLiteral("BBB|10.75|")));
        ASSERT_EQ(posts.size(), 1) << "answered once, not for every symbol";
        EXPECT_EQ(posts[0], "csrfToken=tok%2B1&sessionId=3_cc-session_77&originalDoneUrl=http%3A%2F%2F" +
                                server->host().toUtf8().replace(":", "%3A") +
                                "%2Fq%3Fs%3DAAA%26guccounter%3D1&namespace=yahoo&reject=reject")
            << "only named inputs with a value, and the reject button";
        EXPECT_EQ(std::any_of(server->requests().begin(), server->requests().end(),
                              [](const Request& r) { return r.target.startsWith("/consent?brandType=nonEu"); }),
                  newer);
        const Request& post = *std::find_if(server->requests().begin(), server->requests().end(),
                                            [](const Request& r) { return r.method == "POST"; });
        EXPECT_EQ(post.headers.value("content-type"), "application/x-www-form-urlencoded");
        EXPECT_EQ(post.headers.value("origin"), "http://" + server->host().toUtf8());
        EXPECT_EQ(post.headers.value("sec-fetch-site"), "same-origin");
        EXPECT_EQ(post.headers.value("cache-control"), "max-age=0");
        EXPECT_TRUE(post.headers.value("referer").contains("/v2/collectConsent?sessionId=3_cc-session_77"));

        const qsizetype before = server->requests().size();
        run();
        EXPECT_EQ(posts.size(), 1) << "a second run needs no new answer";
        EXPECT_EQ(server->requests().size() - before, 2);
        EXPECT_EQ(rows().size(), 2);
    }
}

TEST_F(LaterPages, consentThatComesBackAfterDecliningFailsOnceAndTheRunGoesOn)
{
    setsCookie = false;
    requestHandler = [this](const Request& r) { return consentService(r); };
    symbolsAre({"AAA", "BBB"});
    run();
    EXPECT_EQ(posts.size(), 1) << "a decline that did not stick is never sent again";
    EXPECT_EQ(window->resultsList().count(), 0);
    ASSERT_EQ(dialogs.messages.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(dialogs.messages[size_t(i)].text.startsWith(
            QString::fromLatin1(i == 0 ? "AAA: " : "BBB: ") +
            QStringLiteral("The quote service asked for cookie consent again after it was declined\r\n")));
        EXPECT_TRUE(dialogs.messages[size_t(i)].text.contains(QStringLiteral(" at line 116\r\r")));
    }
    EXPECT_EQ(dialogs.messages[2].text, QStringLiteral("Done.\r\rNo quote for: AAA, BBB"));
}

TEST_F(LaterPages, consentMetByRequestsInFlightIsAnsweredOnceAndAnAnswerInPlaceAsksAgain)
{
    for (const bool inPlace : {false, true}) {
        maxInFlight = 4;
        restart(); // a new client: no cookie yet
        posts.clear();
        answersInPlace = inPlace;
        requestHandler = [this](const Request& r) { return consentService(r); };
        window->controls().showNamesCheck->setChecked(false);
        symbolsAre({"AAA", "BBB", "CCC"});
        dialogs.messages.clear();
        run();
        EXPECT_EQ(posts.size(), 1) << inPlace;
        EXPECT_EQ(rows().size(), 3) << inPlace;
        EXPECT_TRUE(rows().value(0).startsWith(QStringLiteral("AAA|10.75|"))) << inPlace;
        EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")}) << inPlace;
    }
}

TEST_F(LaterPages, eachRowSaysWhatItsFiguresMean)
{
    handler = [](const QString& s) {
        PageShape shape;
        shape.layout = PageLayout::FetchedData;
        shape.symbol = s;
        shape.targetBytes = 20 * 1024;
        Response r;
        r.body = makeQuotePage(shape);
        return r;
    };
    symbolsAre({"AAPL"});
    run();
    ASSERT_EQ(window->resultsList().count(), 1);
    const QModelIndex cell = window->resultsList().index(0, 3);
    const QString tip = cell.data(Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith(QStringLiteral("AAPL - Apple Inc. - USD, NasdaqGS - "))) << tip.toStdString();
    EXPECT_TRUE(tip.endsWith(QStringLiteral(", post - regular price 145.81"))) << tip.toStdString();
    EXPECT_EQ(cell.data(Qt::AccessibleDescriptionRole).toString(), tip);
    EXPECT_EQ(window->resultsList().index(0, 0).data(Qt::AccessibleDescriptionRole).toString(),
              QStringLiteral("not ticked - ") + tip);
    EXPECT_EQ(window->resultsList().subItem(1, 2), QStringLiteral("145.37")) << "the window's cells as before";
}
