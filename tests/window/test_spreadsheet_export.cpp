#include "quotes/quote.h"
#include "core/failure.h"
#include "platform/spreadsheet.h"
#include "quotes/number_format.h"
#include "window/results_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <clocale>
#include <string>

using namespace larkspire;
using namespace larkspire::test;

namespace {

const QString kNotInstalledProbe = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this software without error.");
const QString kNotInstalledFeature = QStringLiteral(
    "Excel is not installed on this computer. You need to have it installed to use this feature.");

// Debian's python3, where Debian's openpyxl is, before any other on PATH.
QString systemPython()
{
    const QString debian = QStandardPaths::findExecutable(QStringLiteral("python3"), {QStringLiteral("/usr/bin")});
    return debian.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("python3")) : debian;
}

// Reads a workbook back with openpyxl: every cell with its type, and the widths.
QJsonObject readBack(const QString& path)
{
    const QString python = systemPython();
    if (python.isEmpty())
        return {};
    const QString script = QStringLiteral(R"(
import json, sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
cells = [[None if c.value is None else [c.data_type, c.value] for c in row] for row in ws.iter_rows()]
widths = {k: v.width for k, v in ws.column_dimensions.items()}
print(json.dumps({"cells": cells, "widths": widths, "max_row": ws.max_row}))
)");
    QProcess p;
    p.start(python, {QStringLiteral("-c"), script, path});
    if (!p.waitForFinished(60000))
        return {};
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

bool openpyxlAvailable()
{
    QProcess p;
    p.start(systemPython(), {QStringLiteral("-c"), QStringLiteral("import openpyxl")});
    return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QJsonValue cell(const QJsonObject& book, int row, int column)
{
    return book.value(QStringLiteral("cells")).toArray().at(row - 1).toArray().at(column - 1);
}

} // namespace

class SpreadsheetExport : public ResultsFixture {
protected:
    void exportNow() { window->controls().saveWorkbookButton->click(); }
};

TEST_F(SpreadsheetExport, tickedRowsStandUnderTheirHeaders)
{
    if (!openpyxlAvailable())
        GTEST_SKIP() << "python3-openpyxl is not installed (scripts/test installs it)";
    addRow({QStringLiteral("=GOOG"), QStringLiteral("=1.5"), QString(), QStringLiteral("3")}, true);
    addRow({QStringLiteral("UNTICKED"), QStringLiteral("9")}, false);
    addRow({QStringLiteral("MSFT"), QString(), QStringLiteral("2=2"), QString(), QString(), QString(), QString(),
            QStringLiteral("7.00B"), QStringLiteral("0123")},
           true);
    addRow({QStringLiteral("TAIL")}, false);
    exportNow();
    EXPECT_TRUE(dialogs.messages.empty()) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(window->MousePointer(), kPointerDefault);
    ASSERT_EQ(openedFiles.size(), 1);
    const QString path = openedFiles[0].toLocalFile();
    EXPECT_TRUE(path.endsWith(QStringLiteral(".xlsx")));
    EXPECT_TRUE(path.startsWith(workbookDir.path()));

    const QJsonObject book = readBack(path);
    ASSERT_FALSE(book.isEmpty());
    EXPECT_EQ(cell(book, 1, 1), QJsonArray({QStringLiteral("s"), QStringLiteral("Stock Name")}));
    EXPECT_EQ(cell(book, 1, 6), QJsonArray({QStringLiteral("s"), QStringLiteral(" Volume")}));
    EXPECT_EQ(cell(book, 2, 1), QJsonArray({QStringLiteral("s"), QStringLiteral("=GOOG")}))
        << "the first column keeps its '=' and stays text";
    EXPECT_EQ(cell(book, 2, 2), QJsonArray({QStringLiteral("s"), QStringLiteral("1.5")})) << "a text, not a number";
    EXPECT_TRUE(cell(book, 2, 3).isNull());
    EXPECT_EQ(cell(book, 2, 4), QJsonArray({QStringLiteral("n"), 3}));
    for (int c = 1; c <= 9; ++c)
        EXPECT_TRUE(cell(book, 3, c).isNull()) << "the unticked row stays an empty sheet row";
    EXPECT_EQ(cell(book, 4, 1), QJsonArray({QStringLiteral("s"), QStringLiteral("MSFT")}));
    EXPECT_EQ(cell(book, 4, 3), QJsonArray({QStringLiteral("s"), QStringLiteral("22")}));
    EXPECT_EQ(cell(book, 4, 8), QJsonArray({QStringLiteral("s"), QStringLiteral("7.00B")})) << "under its header";
    EXPECT_EQ(cell(book, 4, 9), QJsonArray({QStringLiteral("s"), QStringLiteral("0123")}));
    EXPECT_EQ(book.value(QStringLiteral("max_row")).toInt(), 4) << "a trailing unticked row leaves no trace";
    const QJsonObject widths = book.value(QStringLiteral("widths")).toObject();
    // Fitted to the longest text and a character to spare: "Stock Name" and "Prev Close" (10 characters), " Volume"
    // (7); the file keeps Excel's own padding on top.
    const double a = widths.value(QStringLiteral("A")).toDouble();
    const double f = widths.value(QStringLiteral("F")).toDouble();
    EXPECT_GE(a, 11);
    EXPECT_LT(a, 12);
    EXPECT_GE(f, 8);
    EXPECT_LT(f, 9);
    EXPECT_DOUBLE_EQ(widths.value(QStringLiteral("I")).toDouble(), a);
}

TEST_F(SpreadsheetExport, theWorkbookIsValidUnderADecimalCommaLocale)
{
    if (!openpyxlAvailable())
        GTEST_SKIP() << "python3-openpyxl is not installed (scripts/test installs it)";
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed";
    addRow({QStringLiteral("GOOG"), QStringLiteral("1,5"), QStringLiteral("1.25")}, true);
    exportNow();
    std::setlocale(LC_NUMERIC, before.c_str());
    ASSERT_EQ(openedFiles.size(), 1);
    const QJsonObject book = readBack(openedFiles[0].toLocalFile());
    EXPECT_EQ(cell(book, 2, 2), QJsonArray({QStringLiteral("s"), QStringLiteral("1,5")}));
    EXPECT_EQ(cell(book, 2, 3), QJsonArray({QStringLiteral("n"), 1.25})) << "a number written with a point";
    const double a = book.value(QStringLiteral("widths")).toObject().value(QStringLiteral("A")).toDouble();
    EXPECT_GE(a, 11) << "fractional widths written with a decimal point";
    EXPECT_LT(a, 12);
}

TEST_F(SpreadsheetExport, figuresAreNumberCellsThatShowTheWindowsText)
{
    if (!openpyxlAvailable())
        GTEST_SKIP() << "python3-openpyxl is not installed (scripts/test installs it)";
    const QStringList texts{QStringLiteral("0700.HK"), QStringLiteral("26.18"), QStringLiteral("27.248"),
                            QStringLiteral("<b>1</b>"), QStringLiteral("-3"), QStringLiteral("86,227,835.00"),
                            QStringLiteral("1,234,567.00"), QStringLiteral("584.94B"), QStringLiteral("0123")};
    const QStringList raws{QString(), QStringLiteral("26.18"), QStringLiteral("27.248"), QString(), QStringLiteral("-3"),
                           QStringLiteral("86227835"), QStringLiteral("1234567"), QStringLiteral("584943209472"),
                           QStringLiteral("123")};
    ASSERT_EQ(NumberFormats().standard(raws[5]), texts[5]) << "the test runs under a decimal-point locale";
    addRow(texts, true);
    for (int k = 1; k <= 8; ++k)
        window->resultsList().setSubItemCell(
            1, k, Cell{texts[k], figureNumber(figureAt(k).display, texts[k], raws[k]), std::nullopt, false, true});
    exportNow();
    ASSERT_EQ(openedFiles.size(), 1);
    // What a spreadsheet shows for each number cell, by its number format.
    const QString script = QStringLiteral(R"(
import sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
def shown(c):
    f, v = c.number_format, c.value
    if f == '0': return '%d' % v
    if f.startswith('0.') and set(f[2:]) == {'0'}: return '%.*f' % (len(f) - 2, v)
    if f == '#,##0.00': return '{:,.2f}'.format(v)
    if f == '0.00,,,"B"': return '%.2fB' % (v / 1e9)
    return 'unknown format ' + f
print('|'.join(('n:' + shown(c)) if c.data_type == 'n' else ('s:' + str(c.value)) for c in ws[2]))
)");
    QProcess p;
    p.start(systemPython(), {QStringLiteral("-c"), script, openedFiles[0].toLocalFile()});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
              QStringLiteral("s:0700.HK|n:26.18|n:27.248|s:<b>1</b>|n:-3|n:86,227,835.00|n:1,234,567.00|n:584.94B|s:0123"))
        << p.readAllStandardError().constData();
}

TEST_F(SpreadsheetExport, noTickedRowOpensNoWorkbookAndSaysHowToTick)
{
    addRow({QStringLiteral("A")}, false);
    exportNow();
    EXPECT_TRUE(openedFiles.isEmpty()) << "a sheet of headers alone is no use";
    ASSERT_EQ(dialogs.messageTexts().size(), 1);
    EXPECT_TRUE(dialogs.messageTexts()[0].startsWith(QStringLiteral("No row of the results is ticked")));
}

TEST_F(SpreadsheetExport, emptyListWithTheProgramThereDoesNothingVisible)
{
    exportNow();
    EXPECT_TRUE(openedFiles.isEmpty());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SpreadsheetExport, missingProgramGivesBothMessagesInOrderEvenForAnEmptyList)
{
    spreadsheetInstalled = false;
    exportNow();
    EXPECT_EQ(dialogs.messageTexts(), (QStringList{kNotInstalledProbe, kNotInstalledFeature}));
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Larkspire"));
    EXPECT_EQ(dialogs.messages[1].icon, MessageIcon::None);
    addRow({QStringLiteral("A")}, true);
    exportNow();
    EXPECT_EQ(dialogs.messages.size(), 4u);
    EXPECT_TRUE(openedFiles.isEmpty());
}

namespace {
// Present at the probe, gone when the export itself asks for it.
struct VanishingSpreadsheet : SpreadsheetApplication {
    int creates = 0;
    std::unique_ptr<SpreadsheetInstance> create() override
    {
        if (++creates > 1)
            throw Failure(QStringLiteral("ActiveX component can't create object"), 429);
        struct Nothing : SpreadsheetInstance {
            void addWorkbook() override {}
            void setCell(int, int, const QString&) override {}
            void autofitColumns() override {}
            void makeVisible() override {}
        };
        return std::make_unique<Nothing>();
    }
};
} // namespace

TEST_F(SpreadsheetExport, applicationThatCannotBeCreatedIsReportedOnce)
{
    VanishingSpreadsheet vanishing;
    Platform p = makePlatform();
    p.spreadsheet = &vanishing;
    window = std::make_unique<MainWindow>(std::move(p));
    for (int i = 0; i < 20; ++i)
        addRow({QStringLiteral("A"), QStringLiteral("1")}, true);
    exportNow();
    ASSERT_EQ(dialogs.messages.size(), 1u) << dialogs.messageTexts().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral(".Form1.PushButton13_Click at line 112\r\r")));
    EXPECT_EQ(window->MousePointer(), kPointerDefault);
}
