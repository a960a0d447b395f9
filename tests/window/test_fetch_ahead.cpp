// Fetching ahead and riding out the service's "slow down", through the real
// window: what the user sees is what one page at a time gives.
#include "window/retrieval_fixture.h"

#include <QTimer>

using namespace larkspire;
using namespace larkspire::test;

class FetchAhead : public RetrievalRun {
protected:
    // Rows and every box shown, for a run with this many requests at once.
    std::pair<QStringList, QStringList> runWith(int inFlight)
    {
        maxInFlight = inFlight;
        restart();
        window->controls().showNamesCheck->setChecked(false);
        symbolsAre({"A", "GONE", "B", "BAD", "C", "NOPAGE", "D"});
        dialogs.messages.clear();
        barTextSeen.clear();
        run();
        return {rows(), dialogs.messageTexts()};
    }
    QStringList barTexts;
    void recordBarTexts()
    {
        QObject::connect(window->controls().progressBar, &ProgressBar::textSet, window.get(),
                         [this](const QString& t) { barTexts << t; });
    }
};

TEST_F(FetchAhead, rowsAndReportsAreThoseOfOnePageAtATime)
{
    handler = [](const QString& s) {
        Response r;
        r.delayMs = 20;
        if (s == QStringLiteral("GONE"))
            r.status = 502, r.reason = "Bad Gateway";
        else if (s == QStringLiteral("BAD"))
            r.status = 500, r.reason = "";
        else if (s != QStringLiteral("NOPAGE"))
            r.body = smallPage(s, s + QStringLiteral(" Corp."));
        return r;
    };
    const auto one = runWith(1);
    const auto four = runWith(4);
    EXPECT_EQ(four.first, one.first);
    EXPECT_EQ(four.second, one.second);
    EXPECT_EQ(one.first.size(), 4);
    EXPECT_EQ(one.second.size(), 3) << "two failures, each at its place, then Done.";
    QStringList distinct = barTextSeen;
    distinct.removeDuplicates();
    EXPECT_LT(distinct.size(), barTextSeen.size()) << "pages went out while an earlier one was awaited";
}

TEST_F(FetchAhead, aSymbolRemovedWhileItsPageIsOnTheWayIsNotShown)
{
    maxInFlight = 4;
    restart();
    symbolsAre({"A", "B", "C", "D"});
    handler = [this](const QString& s) {
        if (s == QStringLiteral("B")) // the user takes B out while its page is on the way
            QTimer::singleShot(30, window.get(), [this] { window->symbolList().remove(2); });
        Response r;
        r.delayMs = s == QStringLiteral("B") ? 100 : 0;
        r.body = smallPage(s, s + QStringLiteral(" Corp."));
        return r;
    };
    window->controls().showNamesCheck->setChecked(true);
    run();
    EXPECT_EQ(window->resultsList().count(), 3);
    EXPECT_EQ(window->resultsList().text(2), QStringLiteral("C Corp. ")) << "B's page is never shown as C";
    EXPECT_EQ(window->resultsList().text(3), QStringLiteral("D Corp. "));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(FetchAhead, slowDownIsWaitedOutAndReportedOnlyWhenItNeverEnds)
{
    struct Case {
        const char* retryAfter; // empty: none sent
        int refusals;           // 429 answers before a page, -1 for ever
        int requests;
        int reports;            // error boxes before Done.
    };
    const Case cases[] = {{"1", 1, 2, 0}, {"", -1, 4, 1}};
    for (const Case& c : cases) {
        maxInFlight = 4;
        restart();
        recordBarTexts();
        int refused = 0;
        handler = [&](const QString& s) {
            Response r;
            if (c.refusals < 0 || refused < c.refusals) {
                ++refused;
                r.status = 429;
                r.reason = "Too Many Requests";
                if (*c.retryAfter)
                    r.headers << qMakePair(QByteArray("Retry-After"), QByteArray(c.retryAfter));
            } else {
                r.body = smallPage(s, s + QStringLiteral(" Corp."));
            }
            return r;
        };
        symbolsAre({"A"});
        dialogs.messages.clear();
        const qsizetype before = server->requests().size();
        run();
        EXPECT_EQ(server->requests().size() - before, c.requests) << c.retryAfter;
        ASSERT_EQ(dialogs.messages.size(), size_t(c.reports + 1)) << c.retryAfter;
        EXPECT_EQ(window->resultsList().count(), c.refusals < 0 ? 0 : 1);
        if (c.reports) {
            EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("A: Too Many Requests (HTTP 429)")));
        }
        if (*c.retryAfter) {
            EXPECT_TRUE(barTexts.contains(QStringLiteral("Waiting 1 s: the quote service asked to slow down")));
        }
        EXPECT_EQ(http->inFlightLimit(), c.refusals == 1 ? 2 : 1) << "each 429 halves the requests that go at once";
    }
}

TEST_F(FetchAhead, aServiceThatKeepsRefusingEndsTheRunAndUnreadablePagesAreTold)
{
    maxInFlight = 4;
    restart();
    recordBarTexts();
    handler = [](const QString& s) {
        Response r;
        if (s == QStringLiteral("ODD")) {
            r.body = "<html><head><title>Something else</title></head></html>";
        } else {
            r.status = 503;
            r.headers << qMakePair(QByteArray("Retry-After"), QByteArray("0"));
        }
        return r;
    };
    symbolsAre({"A", "B", "C", "D", "E"});
    run();
    const QStringList texts = dialogs.messageTexts();
    ASSERT_EQ(texts.size(), 5) << texts.join(QLatin1Char('|')).toStdString();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(texts[i].startsWith(QString(QLatin1Char(char('A' + i))) + QStringLiteral(": Service Unavailable (HTTP 503)")))
            << i;
    EXPECT_EQ(texts[3], QStringLiteral("The quote service keeps refusing requests (HTTP 503 Service Unavailable); the "
                                       "run stops here. Try again later."));
    EXPECT_EQ(texts[4], QStringLiteral("Done.\r\rNo quote for: A, B, C")) << "D and E were not asked for";
    EXPECT_FALSE(barTexts.join(QString()).contains(QStringLiteral("Processing: E")));

    dialogs.messages.clear();
    symbolsAre({"ODD", "ODD", "ODD"});
    run();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("3 pages came back from the quote service, but not one")));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("larkspire --check")));
}
