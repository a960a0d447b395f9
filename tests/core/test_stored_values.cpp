#include "core/failure.h"
#include "core/settings_store.h"
#include "core/stored_values.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <clocale>

using namespace larkspire;

TEST(StoredValues, leadingNumericValueFollowsTheNumberAtTheStart)
{
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"1", 1},       {"2", 2},         {" 1", 1},    {"0.5", 0.5},  {"1abc", 1},  {"0", 0},
        {"", 0},        {"abc", 0},       {"-0", 0},    {"1 2", 12},   {"\t\n3", 3}, {"+4", 4},
        {".5", 0.5},    {"1e2", 100},     {"1e", 1},    {"-", 0},      {"e5", 0},    {"0.0.1", 0},
        {"  -2.5x", -2.5}, {"1E+2", 100}, {"0x10", 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(leadingNumericValue(QString::fromUtf8(c.text)), c.value) << c.text;
    EXPECT_NE(leadingNumericValue(QString(5000, QLatin1Char('9'))), 0.0);
    EXPECT_EQ(leadingNumericValue(QStringLiteral("0.") + QString(5000, QLatin1Char('0'))), 0.0);
}

TEST(StoredValues, leadingNumericValueIgnoresTheUsersDecimalSeparator)
{
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
    EXPECT_DOUBLE_EQ(leadingNumericValue(QStringLiteral("0.5")), 0.5);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(StoredValues, symbolsJoinAndSplitAtSemicolons)
{
    EXPECT_EQ(joinSymbols({QStringLiteral("GOOG"), QStringLiteral("MSFT")}), QStringLiteral("GOOG;MSFT"));
    EXPECT_EQ(joinSymbols({}), QString());
    EXPECT_EQ(joinSymbols({QString()}), QString());
    EXPECT_EQ(splitStoredSymbols(QStringLiteral(";")), (QStringList{QString(), QString()}));
    EXPECT_EQ(splitStoredSymbols(QStringLiteral("GOOG;MSFT;;nhy.ol;")).size(), 5);
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SettingsStore store{dir.path()};
    QString read(const QString& key, const QString& fallback = QStringLiteral("<default>"))
    {
        return store.read(QStringLiteral("Kestrune"), QStringLiteral("Larkspire"), key, fallback);
    }
    void write(const QString& key, const QString& value)
    {
        store.write(QStringLiteral("Kestrune"), QStringLiteral("Larkspire"), key, value);
    }
};

TEST_F(SettingsStoreTest, absentKeyGivesTheReadersDefault)
{
    EXPECT_EQ(read(QStringLiteral("Stock Quotes"), QString()), QString());
    EXPECT_EQ(read(QStringLiteral("Show Fullnames"), QStringLiteral("1")), QStringLiteral("1"));
}

TEST_F(SettingsStoreTest, everyTextRoundTripsUnchanged)
{
    const QStringList texts{
        QStringLiteral("GOOG;MSFT;;nhy.ol;"), QStringLiteral(";"),   QStringLiteral("  blanks  "),
        QStringLiteral("@Variant(x)"),        QStringLiteral("@"),   QStringLiteral("#comment"),
        QStringLiteral("a=b"),                QStringLiteral("a, b"), QStringLiteral("\"quoted\""),
        QStringLiteral("Nestlé €; 株式"),     QString(),             QStringLiteral("back\\slash"),
        QStringLiteral("line\nfeed\r\ttab"),  QString(QChar(u'\0')) + QStringLiteral("nul"),
        QStringLiteral("[Section]"),
    };
    for (const QString& t : texts) {
        write(QStringLiteral("Stock Quotes"), t);
        EXPECT_EQ(read(QStringLiteral("Stock Quotes")), t) << t.toStdString();
    }
    // Keys stay apart, and a second store over the same folder sees the values.
    write(QStringLiteral("Show Fullnames"), QStringLiteral("0"));
    SettingsStore other(dir.path());
    EXPECT_EQ(other.read(QStringLiteral("Kestrune"), QStringLiteral("Larkspire"), QStringLiteral("Show Fullnames"),
                         QString()),
              QStringLiteral("0"));
    EXPECT_EQ(other.read(QStringLiteral("Kestrune"), QStringLiteral("Other"), QStringLiteral("Show Fullnames"),
                         QStringLiteral("d")),
              QStringLiteral("d"));
}

TEST_F(SettingsStoreTest, writeReachesTheFileAtOnce)
{
    write(QStringLiteral("Stock Quotes"), QStringLiteral("GOOG;MSFT"));
    QFile file(store.filePath(QStringLiteral("Kestrune")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_TRUE(content.contains("[Larkspire]"));
    EXPECT_TRUE(content.contains("GOOG;MSFT"));
}

TEST_F(SettingsStoreTest, aSettingsFileThatIsALinkStaysALinkAndKeepsItsMode)
{
    // A dotfiles set-up: the settings file links to a file kept elsewhere.
    QTemporaryDir dotfiles;
    const QString kept = dotfiles.filePath(QStringLiteral("kestrune.conf"));
    const QString path = store.filePath(QStringLiteral("Kestrune"));
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    ASSERT_TRUE(QFile::link(kept, path));
    write(QStringLiteral("Stock Quotes"), QStringLiteral("GOOG;MSFT"));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(read(QStringLiteral("Stock Quotes")), QStringLiteral("GOOG;MSFT"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("GOOG;MSFT"));
    EXPECT_FALSE(QFileInfo(kept).permissions() & (QFile::ReadGroup | QFile::ReadOther));
}

TEST_F(SettingsStoreTest, corruptFileReadsAsDefaults)
{
    write(QStringLiteral("Show Fullnames"), QStringLiteral("0"));
    QFile file(store.filePath(QStringLiteral("Kestrune")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray junk("\x00\xff\xfe[[[=\n\x01\x02garbage\r\n[Larkspire\nShow%20Fullnames", 44);
    junk.append(QByteArray(100000, '\xc3'));
    file.write(junk);
    file.close();
    EXPECT_EQ(read(QStringLiteral("Stock Quotes"), QStringLiteral("d")), QStringLiteral("d"));
}

TEST_F(SettingsStoreTest, unwritableFolderIsAFailureAndKeepsTheOldValue)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "file permissions do not bind root";
    write(QStringLiteral("Stock Quotes"), QStringLiteral("OLD"));
    const QString folder = dir.path() + QStringLiteral("/Kestrune");
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_THROW(write(QStringLiteral("Stock Quotes"), QStringLiteral("NEW")), Failure);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(read(QStringLiteral("Stock Quotes")), QStringLiteral("OLD"));
}

TEST_F(SettingsStoreTest, settingsPathThatIsAFolderIsAFailure)
{
    // Works for root too: a folder where the file should be cannot be read or replaced.
    ASSERT_TRUE(QDir().mkpath(store.filePath(QStringLiteral("Kestrune"))));
    EXPECT_THROW(read(QStringLiteral("Stock Quotes")), Failure);
    EXPECT_THROW(write(QStringLiteral("Stock Quotes"), QStringLiteral("X")), Failure);
}

TEST_F(SettingsStoreTest, aDamagedFileIsReplacedByTheNextWrite)
{
    QDir().mkpath(QFileInfo(store.filePath(QStringLiteral("Kestrune"))).absolutePath());
    QFile file(store.filePath(QStringLiteral("Kestrune")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("\x00\xff[[[=\n\x01garbage\r\n[Larkspire\nStock%20Quotes=\"unclosed", 50));
    file.close();
    write(QStringLiteral("Stock Quotes"), QStringLiteral("GOOG;MSFT"));
    EXPECT_EQ(read(QStringLiteral("Stock Quotes")), QStringLiteral("GOOG;MSFT"));
    EXPECT_TRUE(QFile::exists(store.filePath(QStringLiteral("Kestrune")) + QStringLiteral(".damaged")))
        << "the damaged file is kept for the user";
}
