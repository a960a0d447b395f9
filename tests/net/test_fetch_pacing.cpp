// The pacing rules alone, on a clock of the test's own.
#include "net/fetch_pacing.h"

#include <gtest/gtest.h>

using namespace larkspire;

TEST(FetchPacing, moreRequestsWhileTheServiceAnswersWellFewerWhenItSaysSlowDown)
{
    FetchPacing pacing(HttpLimits{});
    EXPECT_EQ(pacing.inFlightLimit(), 4);
    EXPECT_EQ(pacing.ceiling(), 8);
    for (int i = 0; i < 100; ++i)
        pacing.answeredFine();
    EXPECT_EQ(pacing.inFlightLimit(), 8) << "one more each 8 fine answers, never past 8";
    EXPECT_TRUE(pacing.mayStart(7, false));
    EXPECT_FALSE(pacing.mayStart(8, false));
    EXPECT_TRUE(pacing.mayStart(8, true)) << "the page asked for first goes when nothing runs";
    std::vector<int> halved;
    for (int i = 0; i < 5; ++i) {
        pacing.slowDown({}, 0);
        halved.push_back(pacing.inFlightLimit());
    }
    EXPECT_EQ(halved, (std::vector<int>{4, 2, 1, 1, 1}));
    for (int i = 0; i < 7; ++i)
        pacing.answeredFine();
    EXPECT_EQ(pacing.inFlightLimit(), 1);
    pacing.answeredFine();
    EXPECT_EQ(pacing.inFlightLimit(), 2);
}

TEST(FetchPacing, waitsAsTheServiceAsksThenDoublesThenGivesUp)
{
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-06-26T20:00:00Z"), Qt::ISODate);
    HttpLimits limits;
    FetchPacing pacing(limits, [now] { return now; });
    EXPECT_EQ(pacing.slowDown("5", 0), 5000);
    EXPECT_EQ(pacing.slowDown("Fri, 26 Jun 2026 20:00:30 GMT", 0), 30000) << "an HTTP date, by the pacing's clock";
    EXPECT_EQ(pacing.askedTooLongMs(), 0);
    // A longer wait than is ever waited: not waited, and said.
    for (const auto& [value, asked] : {std::pair<const char*, qint64>{"31", 31000}, {"60", 60000},
                                       {"99999999999999999999999", 24LL * 3600 * 1000}}) {
        EXPECT_EQ(pacing.slowDown(value, 0), -1) << value;
        EXPECT_EQ(pacing.askedTooLongMs(), asked) << value;
    }
    EXPECT_EQ(pacing.slowDown("soon", 0), 2000);
    EXPECT_EQ(pacing.slowDown({}, 1), 4000);
    EXPECT_EQ(pacing.slowDown({}, 2), 8000);
    EXPECT_EQ(pacing.slowDown("1", 3), -1) << "after three retries the page fails";
}

TEST(FetchPacing, theConsentFormIsDeclinedOnceARun)
{
    FetchPacing pacing(HttpLimits{});
    using C = FetchPacing::Consent;
    EXPECT_EQ(pacing.consentMet(0, false), C::Decline);
    pacing.declineSent();
    EXPECT_FALSE(pacing.mayStart(0, true)) << "nothing goes out while the decline is on its way";
    EXPECT_EQ(pacing.consentMet(0, false), C::WaitForDecline);
    pacing.declineAnswered(true, true);
    EXPECT_EQ(pacing.consentRound(), 1);
    EXPECT_EQ(pacing.consentMet(0, false), C::AskAgain) << "sent before the decline: asked again with its cookie";
    EXPECT_EQ(pacing.consentMet(0, true), C::Fail) << "asked again and met once more: the decline did not stick";
    EXPECT_EQ(pacing.consentMet(1, false), C::Fail) << "never a second decline in this run";
    pacing.newRun();
    EXPECT_EQ(pacing.consentMet(1, false), C::Decline);
    pacing.declineSent();
    pacing.declineAnswered(false, false);
    EXPECT_EQ(pacing.consentMet(1, false), C::Decline) << "a decline that never arrived may be sent again";
}
