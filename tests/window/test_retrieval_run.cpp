#include "support/quote_list_service.h"
#include "window/retrieval_fixture.h"

#include "core/error_report.h"

#include <QTcpServer>
#include <QTest>
#include <QTimer>

using namespace larkspire;
using namespace larkspire::test;

TEST_F(RetrievalRun, rowsShowNamesOrSymbolsAsTyped)
{
    symbolsAre({"GOOG", "msft"});
    window->controls().showNamesCheck->setChecked(false);
    run();
    EXPECT_EQ(requestedSymbols(), (QStringList{QStringLiteral("/q?s=GOOG"), QStringLiteral("/q?s=MSFT")}));
    EXPECT_EQ(rows(), (QStringList{QStringLiteral("GOOG|10.75|10.5|11|9.75|500.00|1,234,567.00|123.00B|10.25"),
                                   QStringLiteral("msft|10.75|10.5|11|9.75|500.00|1,234,567.00|123.00B|10.25")}));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")});
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Larkspire"));
    EXPECT_FALSE(window->resultsList().checked(1)) << "new rows are unticked";

    window->controls().showNamesCheck->setChecked(true);
    run();
    EXPECT_EQ(window->resultsList().count(), 2) << "a new run empties the list first";
    EXPECT_EQ(window->resultsList().text(1), QStringLiteral("GOOG Corp. "));
    EXPECT_EQ(window->resultsList().text(2), QStringLiteral("MSFT Corp. "));
}

TEST_F(RetrievalRun, blankSymbolsAreNeverFetchedAndStrayBlanksAreNotSent)
{
    window->controls().showNamesCheck->setChecked(false);
    symbolsAre({"", "GOOG", " \t ", "  shop  ", "\tmsft", "A B "});
    run();
    EXPECT_EQ(requestedSymbols(), (QStringList{QStringLiteral("/q?s=GOOG"), QStringLiteral("/q?s=SHOP"),
                                               QStringLiteral("/q?s=MSFT"), QStringLiteral("/q?s=A%20B")}));
    EXPECT_EQ(window->resultsList().count(), 4);
    EXPECT_EQ(window->resultsList().text(2), QStringLiteral("  shop  ")) << "the row shows it as given";
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(RetrievalRun, progressPointerAndDoneForThreeSymbols)
{
    symbolsAre({"A", "B", "C"});
    run();
    EXPECT_EQ(progressSeen, (QList<int>{33, 66, 100}));
    EXPECT_EQ(barTextSeen, (QStringList{QStringLiteral("Processing: A"), QStringLiteral("Processing: B"),
                                        QStringLiteral("Processing: C")}));
    EXPECT_EQ(pointerSeen, (QList<int>{11, 11, 11}));
    EXPECT_EQ(window->controls().progressBar->value(), 0);
    EXPECT_EQ(window->controls().progressBar->barText(), QStringLiteral("Progress Bar"));
    EXPECT_EQ(window->MousePointer(), kPointerDefault);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(RetrievalRun, emptyListStillEmptiesResetsAndSaysDone)
{
    window->resultsList().add(QStringLiteral("old"));
    run();
    EXPECT_TRUE(server->requests().isEmpty());
    EXPECT_EQ(window->resultsList().count(), 0);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(RetrievalRun, unrecognisedPagesAddNoRows)
{
    handler = [](const QString& s) {
        Response r;
        if (s == QStringLiteral("NONAME"))
            r.body = "<title>NONAME : Summary for Something</title>";
        else if (s == QStringLiteral("NOKEYS"))
            r.body = smallPage(s, QStringLiteral("Bare Inc."), false);
        else if (s == QStringLiteral("OTHER"))
            r.body = smallPage(QStringLiteral("ELSE"), QStringLiteral("Else"));
        return r;
    };
    symbolsAre({"NONAME", "NOKEYS", "OTHER"});
    run(); // names shown: no name, no row
    EXPECT_EQ(rows(), QStringList{QStringLiteral("Bare Inc. ||||||||")});
    window->controls().showNamesCheck->setChecked(false);
    run();
    EXPECT_EQ(rows(), (QStringList{QStringLiteral("NONAME||||||||"), QStringLiteral("NOKEYS||||||||")}));
    EXPECT_EQ(dialogs.messageTexts(), (QStringList{QStringLiteral("Done.\r\rNo quote for: NONAME, OTHER"),
                                                   QStringLiteral("Done.\r\rNo quote for: OTHER")}));
}

TEST_F(RetrievalRun, failedFetchesAreReportedAtStep116AndNeverReuseTheLastPage)
{
    int twice = 0;
    handler = [&](const QString& s) {
        Response r;
        if (s == QStringLiteral("BAD") || (s == QStringLiteral("TWICE") && ++twice == 2)) {
            r.status = 500;
            r.reason = "Internal Server Error";
        } else if (s == QStringLiteral("UNKNOWN")) {
            r.status = 404;
            r.reason = "Not Found";
        } else {
            r.body = smallPage(s, QStringLiteral("Twice Ltd"));
        }
        return r;
    };
    symbolsAre({"BAD", "TWICE", "UNKNOWN", "TWICE"});
    run();
    EXPECT_EQ(window->resultsList().count(), 1) << "the second TWICE fails and gets no stale row";
    const QStringList texts = dialogs.messageTexts();
    ASSERT_EQ(texts.size(), 3) << "a symbol the service does not know is not reported";
    EXPECT_EQ(texts[0], errorReportText(QStringLiteral("BAD: Internal Server Error (HTTP 500)"), QStringLiteral("Form1"),
                                        QStringLiteral("PushButton17_Click"), 116));
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("TWICE: Internal Server Error (HTTP 500)\r\n")));
    EXPECT_EQ(texts[2], QStringLiteral("Done.\r\rNo quote for: BAD, UNKNOWN, TWICE"));
}

TEST_F(RetrievalRun, everyKindOfHttpFailureIsReportedAndTheRunGoesOn)
{
    handler = [](const QString& s) {
        Response r;
        r.body = smallPage(s, QStringLiteral("X"));
        if (s == QStringLiteral("R429")) {
            r.status = 429;
            r.reason = "Too Many Requests";
        } else if (s == QStringLiteral("R500")) {
            r.status = 500;
            r.reason = "Internal Server Error";
        } else if (s == QStringLiteral("RESET")) {
            r.body = smallPage(s, QStringLiteral("X")) + QByteArray(100000, ' ');
            r.resetMidBody = true;
        } else if (s == QStringLiteral("STALL")) {
            r.stallMidBody = true;
        } else if (s == QStringLiteral("GZ")) {
            r.gzip = true;
        } else if (s == QStringLiteral("LATIN")) {
            r.headers = {{"Content-Type", "text/html; charset=ISO-8859-1"}};
            r.body = "<title>LATIN : Summary for Caf\xe9 Soci\xe9t\xe9 - Yahoo Finance";
        } else if (s.startsWith(QStringLiteral("HOP"))) {
            r.status = 301;
            r.reason = "Moved";
            r.headers = {{"Location", s == QStringLiteral("HOP1") ? "/final" : "/quote/q?s=HOP1"}};
        } else if (s.isEmpty()) { // the end of the redirect chain
            r.body = smallPage(QStringLiteral("HOP2"), QStringLiteral("Hop"));
        }
        return r;
    };
    symbolsAre({"R429", "R500", "RESET", "STALL", "GZ", "LATIN", "HOP2"});
    run();
    QStringList names;
    for (int i = 1; i <= window->resultsList().count(); ++i)
        names << window->resultsList().text(i);
    EXPECT_EQ(names, (QStringList{QStringLiteral("X "), QStringLiteral("Café Société "), QStringLiteral("Hop ")}))
        << "gzip, ISO-8859-1 and a redirect chain give rows";
    const QStringList texts = dialogs.messageTexts();
    ASSERT_EQ(texts.size(), 5) << texts.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("R429: Too Many Requests (HTTP 429)\r\n")));
    EXPECT_TRUE(texts[1].startsWith(QStringLiteral("R500: Internal Server Error (HTTP 500)\r\n")));
    EXPECT_TRUE(texts[2].contains(QStringLiteral("at line 116")));
    EXPECT_TRUE(texts[3].startsWith(QStringLiteral("STALL: Operation timed out\r\n")));
    EXPECT_TRUE(texts[4].startsWith(QStringLiteral("Done.\r\rNo quote for: R429, R500, "))) << texts[4].toStdString();
}

TEST_F(RetrievalRun, refusedConnectionIsReported)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    quoteHost = QStringLiteral("127.0.0.1:") + QString::number(probe.serverPort());
    probe.close();
    start();
    symbolsAre({"GOOG"});
    run();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("GOOG: Connection refused\r\nin ")));
    EXPECT_EQ(dialogs.messages[1].text, QStringLiteral("Done.\r\rNo quote for: GOOG"));
}

TEST_F(RetrievalRun, realisticPagesGiveEachStocksOwnFigures)
{
    handler = [](const QString& s) {
        PageShape shape;
        shape.symbol = s;
        shape.shortName = s + QStringLiteral(" & Co");
        shape.open = s == QStringLiteral("AAA") ? QStringLiteral("1.5") : QStringLiteral("2.5");
        shape.targetBytes = 300 * 1024;
        Response r;
        r.body = makeQuotePage(shape);
        r.gzip = true;
        return r;
    };
    symbolsAre({"AAA", "BBB"});
    run();
    ASSERT_EQ(window->resultsList().count(), 2);
    EXPECT_EQ(window->resultsList().text(1), QStringLiteral("AAA & Co "));
    EXPECT_EQ(window->resultsList().subItem(1, 2), QStringLiteral("1.5"));
    EXPECT_EQ(window->resultsList().subItem(2, 2), QStringLiteral("2.5"));
    EXPECT_EQ(window->resultsList().subItem(2, 7), QStringLiteral("2415.63B"));
}

TEST_F(RetrievalRun, clearResultsAndASecondStartDuringARun)
{
    symbolsAre({"A", "B", "C"});
    onRequest = [&](const QString& s) {
        if (s == QStringLiteral("B")) {
            window->controls().clearResultsButton->click(); // Clear Results: no busy check
            window->controls().startButton->click(); // a second Start does nothing
            window->removeSelectedResult();             // busy: refused
        }
    };
    run();
    EXPECT_EQ(server->requests().size(), 3);
    QStringList names;
    for (int i = 1; i <= window->resultsList().count(); ++i)
        names << window->resultsList().text(i);
    EXPECT_EQ(names, (QStringList{QStringLiteral("B Corp. "), QStringLiteral("C Corp. ")}));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")});
}

TEST_F(RetrievalRun, symbolsRemovedBeforeTheFirstPumpAreNotFetched)
{
    symbolsAre({"A", "B", "C"});
    // Before the hourglass is set, the first pump lets "Clear List" through.
    QTimer::singleShot(0, window.get(), [&] { window->controls().clearListButton->click(); });
    run();
    EXPECT_TRUE(server->requests().size() <= 1);
    EXPECT_EQ(dialogs.messageTexts().last(), QStringLiteral("Done."));
}

TEST_F(RetrievalRun, closingTheWindowDuringARunStoresTheListAndEnds)
{
    symbolsAre({"A", "B", "C"});
    onRequest = [&](const QString& s) {
        if (s == QStringLiteral("B"))
            window->close();
    };
    run();
    EXPECT_EQ(server->requests().size(), 2) << "no request after the close";
    EXPECT_EQ(endProgramCalls, 1);
    EXPECT_EQ(stored(kKeyStockQuotes), QStringLiteral("A;B;C"));
    EXPECT_TRUE(dialogs.messages.empty()) << "no Done. and no error report after the window went";
    EXPECT_TRUE(window->hasEnded());
}

TEST_F(RetrievalRun, aRowRemovedWhileItIsFilledIsNotWrittenTo)
{
    symbolsAre({"A"});
    window->controls().showNamesCheck->setChecked(false);
    // The row is removed from under the run as soon as it appears.
    QObject::connect(&window->resultsList(), &QAbstractItemModel::rowsInserted, window.get(),
                     [&] { window->resultsList().clear(); });
    run();
    EXPECT_EQ(window->resultsList().count(), 0);
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Done.")}) << "a row removed was a row given";
}

TEST_F(RetrievalRun, aCipherListNobodyCanUseStopsTheRunBeforeAnyRequest)
{
    symbolsAre({"AAA"});
    const QString why = http->setTlsCiphers(QStringLiteral("NOPE"), QStringLiteral("The \"TLS Ciphers\" setting"));
    ASSERT_FALSE(why.isEmpty());
    run();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{why});
    EXPECT_TRUE(server->requests().isEmpty());
    EXPECT_EQ(window->resultsList().count(), 0);
}

TEST_F(RetrievalRun, aServiceThatAsksForALongWaitEndsTheRunAtOnceWithOneBox)
{
    handler = [](const QString&) {
        Response r;
        r.status = 429;
        r.reason = "Too Many Requests";
        r.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("60")));
        return r;
    };
    symbolsAre({"AAA", "BBB", "CCC", "DDD"});
    run();
    EXPECT_EQ(dialogs.messageTexts(),
              (QStringList{QStringLiteral("The quote service refuses requests (HTTP 429 Too Many Requests) and asks to "
                                          "wait 60 s before the next; the run stops here. Try again later."),
                           QStringLiteral("Done.\r\rNo quote for: AAA")}));
    EXPECT_LE(server->requests().size(), 4) << "no page is asked again after the service asked for a long wait";
}

// With the quote list first (the default), the window shows the same rows in
// the same order and the same boxes as with pages alone, from a list request
// for many symbols instead of a page for each.
TEST_F(RetrievalRun, theQuoteListGivesTheRowsAndBoxesOfThePages)
{
    QuoteListService service;
    for (const char* s : {"AAA", "BBB", "CCC", "DDD"})
        service.add(QString::fromLatin1(s));
    requestHandler = [&](const Request& r) { return service.answer(r); };
    const auto shown = [&](const QString& source) {
        putStored(kKeyQuoteSource, source);
        symbolsAre({"AAA", "bbb", "NOSUCH", "CCC", "AAA", "DDD"});
        dialogs.messages.clear();
        run();
        return QString(rows().join(QLatin1Char('\n')) + QStringLiteral("\n--\n") + dialogs.messageTexts().join(QLatin1Char('\n')));
    };
    const QString pages = shown(QStringLiteral("pages"));
    service.log.clear();
    EXPECT_EQ(shown(QStringLiteral("auto")).toStdString(), pages.toStdString());
    // The first page brings the cookie; the rest come in one list request.
    EXPECT_EQ(service.log, QStringList({QStringLiteral("page AAA"), QStringLiteral("crumb"),
                                        QStringLiteral("list BBB,NOSUCH,CCC,AAA,DDD"), QStringLiteral("page NOSUCH"),
                                        QStringLiteral("page NOSUCH")}));
}

// The end box names the symbols that gave no row, the first twenty of them;
// Escape stops a run after the symbol being read and keeps its rows.
TEST_F(RetrievalRun, theEndBoxNamesWhatGaveNoRowAndEscapeStopsTheRun)
{
    handler = [](const QString& s) {
        Response r;
        if (s.startsWith(QStringLiteral("NO")))
            r.status = 404, r.reason = "Not Found";
        else
            r.body = smallPage(s, s + QStringLiteral(" Corp."));
        return r;
    };
    window->symbolList().clear();
    window->symbolList().add(QStringLiteral("GOOD"));
    for (int i = 1; i <= 23; ++i)
        window->symbolList().add(QStringLiteral("NO%1").arg(i));
    run();
    EXPECT_EQ(dialogs.messageTexts().last(),
              QStringLiteral("Done.\r\rNo quote for: NO1, NO2, NO3, NO4, NO5, NO6, NO7, NO8, NO9, NO10, NO11, NO12, "
                             "NO13, NO14, NO15, NO16, NO17, NO18, NO19, NO20 and 3 more"));

    dialogs.messages.clear();
    symbolsAre({"A", "B", "C", "D"});
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    onRequest = [&](const QString& s) {
        if (s == QStringLiteral("B")) // pressed while B's page is on its way
            QTest::keyClick(window.get(), Qt::Key_Escape);
    };
    run();
    EXPECT_EQ(rows().size(), 2) << "A and B are kept, nothing more is asked for";
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList{QStringLiteral("Done.\r\rThe run was stopped with Escape; the rows so far are kept.")});
    onRequest = nullptr;
    dialogs.messages.clear();
    run();
    EXPECT_EQ(rows().size(), 4) << "the next run is whole again";
}
