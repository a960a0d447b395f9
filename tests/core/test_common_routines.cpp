#include "core/common_routines.h"
#include "core/failure.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace larkspire;

TEST(CommonRoutines, fileExistsForFilesAndFoldersOnly)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("a.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(dir.path()));
    EXPECT_FALSE(FileExists(dir.filePath(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(file + QChar(u'\0') + QStringLiteral("x")));
}

TEST(CommonRoutines, fileNameFromPathTakesTheLastElement)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/home/user/quotes.txt", "quotes.txt"}, {"quotes.txt", "quotes.txt"}, {"/home/user/", ""},
        {"", ""}, {"C:\\data\\quotes.txt", "quotes.txt"}, {"BRK\\B", "B"}, {"a/b\\c", "c"},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(FileNameFromPath(QString::fromUtf8(path)), QString::fromUtf8(name)) << path;
}

TEST(CommonRoutines, normalizePathFoldsDoubledSeparators)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"quotes.txt", "quotes.txt"},
        {"home//user/a.txt", "home/user/a.txt"},
        {"a///b", "a//b"},
        {"a////b", "a//b"},
        {"a/////b", "a///b"},
        {"//a.txt", "/a.txt"},
        {"/home/user//a.txt", "/home/user/a.txt"},
        {"///x", "/x"},
        {"/", "/"},
        {"back\\\\slash", "back\\\\slash"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(NormalizePath(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

TEST(CommonRoutines, appTitleCutsAtBlanksToFortyCharacters)
{
    EXPECT_EQ(AppTitleFromProductTitle(QStringLiteral("Larkspire")), QStringLiteral("Larkspire"));
    const QString forty = QString(40, QLatin1Char('x'));
    EXPECT_EQ(AppTitleFromProductTitle(forty), forty);
    // 41 characters: the last word goes with its blank.
    EXPECT_EQ(AppTitleFromProductTitle(QString(35, QLatin1Char('a')) + QStringLiteral(" bcdef")),
              QString(35, QLatin1Char('a')));
    // 49 characters whose last word has 8: exactly 40 are left.
    const QString fortyNine = QString(40, QLatin1Char('a')) + QStringLiteral(" ") + QString(8, QLatin1Char('b'));
    ASSERT_EQ(fortyNine.size(), 49);
    EXPECT_EQ(AppTitleFromProductTitle(fortyNine), QString(40, QLatin1Char('a')));
    // Several cuts until it fits.
    EXPECT_EQ(AppTitleFromProductTitle(QStringLiteral("one two three four five six seven eight nine ten")),
              QStringLiteral("one two three four five six seven eight"));
    EXPECT_THROW(AppTitleFromProductTitle(QString(41, QLatin1Char('x'))), Failure);
}

TEST(CommonRoutines, aTemporaryFolderThatDoesNotExistFallsBackToTmp)
{
    const QByteArray saved = qgetenv("TMPDIR");
    QTemporaryDir dir;
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
    EXPECT_EQ(usableTempFolder(), QDir(dir.path()).canonicalPath());
    qputenv("TMPDIR", QFile::encodeName(dir.filePath(QStringLiteral("missing"))));
    EXPECT_EQ(usableTempFolder(), QStringLiteral("/tmp"));
    if (saved.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", saved);
}
