#include "platform/xlsx_spreadsheet.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
