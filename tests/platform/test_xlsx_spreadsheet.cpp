#include "core/failure.h"
#include "platform/xlsx_spreadsheet.h"

#include <QDir>

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace larkspire;

TEST(SpreadsheetProgram, foundOnPathOrNotAtAll)
{
    const QByteArray savedPath = qgetenv("PATH");
    QTemporaryDir bin;
    qputenv("PATH", QFile::encodeName(bin.path()));
    EXPECT_FALSE(spreadsheetProgramInstalled()) << "no program and no xdg-mime on PATH";
    QFile calc(bin.filePath(QStringLiteral("localc")));
    ASSERT_TRUE(calc.open(QIODevice::WriteOnly));
    calc.write("#!/bin/sh\n");
    calc.close();
    calc.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_TRUE(spreadsheetProgramInstalled());
    qputenv("PATH", savedPath);
}

TEST(SpreadsheetProgram, aWorkbookNobodyOpenedIsNamedAndOldOnesOfOursAreRemoved)
{
    QTemporaryDir folder;
    XlsxSpreadsheetApplication app({[] { return true; }, [](const QUrl&) { return false; }, folder.path()});
    auto sheet = app.create();
    sheet->addWorkbook();
    sheet->setCell(1, 1, QStringLiteral("x"));
    try {
        sheet->makeVisible();
        ADD_FAILURE() << "no program took the workbook, and nothing was said";
    } catch (const Failure& f) {
        EXPECT_TRUE(f.description().startsWith(QStringLiteral("The workbook was saved as \"Larkspire results ")))
            << f.description().toStdString();
        EXPECT_TRUE(f.description().contains(QStringLiteral(" in ") + folder.path() + QStringLiteral(", but no program")));
    }
    ASSERT_EQ(QDir(folder.path()).entryList(QDir::Files).size(), 1) << "the saved workbook stays";

    // A day later only our own workbooks go (private, the running user's),
    // never a link, the user's own "Budget" or another user's file.
    for (const char* name : {"Larkspire results Ab12Cd.xlsx", "Larkspire results notes.xlsx", "budget.xlsx",
                             "Larkspire results Budget.xlsx", "Larkspire results Other1.xlsx"}) {
        QFile f(folder.filePath(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        if (QByteArray(name).contains("Ab12Cd") || QByteArray(name).contains("Other1"))
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    const QByteArray other = QFile::encodeName(folder.filePath(QStringLiteral("Larkspire results Other1.xlsx")));
    if (::geteuid() != 0 || ::chown(other.constData(), 65534, 65534) != 0)
        QFile::remove(QString::fromLocal8Bit(other)); // only root can give a file away
    QFile::link(folder.filePath(QStringLiteral("budget.xlsx")), folder.filePath(QStringLiteral("Larkspire results Link00.xlsx")));
    EXPECT_EQ(removeOldWorkbooks(folder.path(), QDateTime::currentDateTime()), 0) << "nothing is a day old yet";
    EXPECT_EQ(removeOldWorkbooks(folder.path(), QDateTime::currentDateTime().addSecs(25 * 3600)), 2);
    QStringList left = QDir(folder.path()).entryList(QDir::Files | QDir::System);
    left.sort();
    const bool otherStayed = left.removeAll(QStringLiteral("Larkspire results Other1.xlsx")) == 1;
    EXPECT_EQ(left, (QStringList{QStringLiteral("Larkspire results Budget.xlsx"), QStringLiteral("Larkspire results Link00.xlsx"),
                                 QStringLiteral("Larkspire results notes.xlsx"), QStringLiteral("budget.xlsx")}));
    if (::geteuid() == 0) {
        EXPECT_TRUE(otherStayed) << "another user's file stays, even for root";
    }
}
