#include "core/error_report.h"
#include "core/step_runner.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace larkspire;

namespace {

// Every message shown, in order.
struct RecordedMessages final : MessageSink {
    struct Message {
        QString text, title;
        MessageIcon icon;
    };
    void message(const QString& text, const QString& title, MessageIcon icon) override
    {
        messages.push_back({text, title, icon});
    }
    std::vector<Message> messages;
};

} // namespace

TEST(ErrorReport, textIsBuiltExactly)
{
    const QString text = errorReportText(QStringLiteral("Connection refused"), QStringLiteral("Form1"),
                                         QStringLiteral("PushButton17_Click"), 116);
    const QString expected = QStringLiteral("Connection refused\r\nin ") + projectStamp() +
                             QStringLiteral(".Form1.PushButton17_Click at line 116\r\r"
                                            "Please email screenshot of this message to ") +
                             supportAddress();
    EXPECT_EQ(text, expected);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Quillmere\\d{4}/\\d{2}/\\d{2}$")).match(projectStamp()).hasMatch())
        << projectStamp().toStdString();
    EXPECT_FALSE(supportAddress().isEmpty());
}

TEST(ErrorReport, displayTurnsEveryCrLfAndLoneCrIntoOneBreak)
{
    EXPECT_EQ(messageForDisplay(QStringLiteral("a\r\nb\r\rc\rd")), QStringLiteral("a\nb\n\nc\nd"));
}

TEST(StepRunner, failingStepIsReportedAndTheNextStepStillRuns)
{
    RecordedMessages dialogs;
    StepRunner step(dialogs, QStringLiteral("Main"), QStringLiteral("SaveListviewProperlySpaced"));
    QStringList ran;
    EXPECT_TRUE(step(100, [&] { ran << QStringLiteral("100"); }));
    EXPECT_FALSE(step(102, [&] { throw Failure(QStringLiteral("Path not found"), 76); }));
    EXPECT_FALSE(step(104, [&] { throw std::bad_alloc(); }));
    EXPECT_TRUE(step(106, [&] { ran << QStringLiteral("106"); }));
    EXPECT_EQ(ran, (QStringList{QStringLiteral("100"), QStringLiteral("106")}));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Application Error"));
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::Warning);
    EXPECT_EQ(dialogs.messages[0].text,
              errorReportText(QStringLiteral("Path not found"), QStringLiteral("Main"),
                              QStringLiteral("SaveListviewProperlySpaced"), 102));
    EXPECT_TRUE(dialogs.messages[1].text.startsWith(QStringLiteral("Out of memory\r\n")));
    EXPECT_TRUE(dialogs.messages[1].text.contains(QStringLiteral("at line 104\r\r")));
    EXPECT_EQ(step.failures(), 2);
}

TEST(StepRunner, abandonedOperationPassesThroughUnreported)
{
    RecordedMessages dialogs;
    StepRunner step(dialogs, QStringLiteral("Form1"), QStringLiteral("PushButton17_Click"));
    EXPECT_THROW(step(112, [] { throw Abandoned(); }), Abandoned);
    EXPECT_TRUE(dialogs.messages.empty());
}
