#include "core/failure.h"
#include "support/test_helpers.h"
#include "symbols/symbol_file.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace larkspire;
using larkspire::test::texts;
using larkspire::test::writeFile;

namespace {

QStringList readAll(const QString& path)
{
    QStringList all;
    readSymbolFile(path, [&](const QStringList& batch) { all += batch; });
    return all;
}


} // namespace

TEST(SymbolFile, lineRulesOnRealFiles)
{
    QTemporaryDir dir;
    const std::pair<QByteArray, QStringList> cases[] = {
        {"GOOG\r\nMSFT\r\n\r\nIBM\r\n", texts({"GOOG", "MSFT", "", "IBM"})},
        {"GOOG\nMSFT\n\nIBM\n", texts({"GOOG", "MSFT", "", "IBM", ""})},
        {"GOOG\rMSFT\r", texts({"GOOG", "MSFT"})},
        {"GOOG\rMSFT", texts({"GOOG", "MSFT"})},
        {"A\r\nB\nC\rD", texts({"A", "B", "C", "D"})},
        {"A\n\rB", texts({"A", "", "B"})},
        {"", {}},
        {"\r\n", texts({""})},
        {"\n", texts({"", ""})},
        {"\r", texts({""})},
        {"\r\r", texts({"", ""})},
        {"GOOG;MSFT", texts({"GOOG;MSFT"})},
        {"  msft , x  \r\nnhy.ol", texts({"  msft , x  ", "nhy.ol"})},
    };
    int n = 0;
    for (const auto& [bytes, expected] : cases) {
        const QString path = writeFile(dir, QByteArray("f" + QByteArray::number(n++)).constData(), bytes);
        EXPECT_EQ(readAll(path), expected) << bytes.toPercentEncoding().constData();
        EXPECT_EQ(symbolsFromBytes(bytes), expected) << bytes.toPercentEncoding().constData();
    }
}

TEST(SymbolFile, decodingKeepsEveryByte)
{
    QTemporaryDir dir;
    // UTF-8, with and without a byte-order mark (only the first is dropped).
    EXPECT_EQ(readAll(writeFile(dir, "u8", "NESTL\xc3\x89\r\n\xe2\x82\xac")), texts({"NESTLÉ", "€"}));
    EXPECT_EQ(readAll(writeFile(dir, "bom", "\xef\xbb\xbfGOOG\r\nMSFT")), texts({"GOOG", "MSFT"}));
    EXPECT_EQ(readAll(writeFile(dir, "bom2", "\xef\xbb\xbf\xef\xbb\xbfX")), QStringList{QString(QChar(0xFEFF)) +
                                                                                      QStringLiteral("X")});
    // Not UTF-8: Windows-1252, byte for byte, undefined bytes included.
    EXPECT_EQ(readAll(writeFile(dir, "cp", "NESTL\xc9\r\n\x80\x81\x9f")),
              (QStringList{QStringLiteral("NESTLÉ"), QStringLiteral("€\u0081Ÿ")}));
    // UTF-8 cut off at the very end is not valid UTF-8.
    EXPECT_EQ(readAll(writeFile(dir, "cut", "A\xc3\xa9\n\xe2\x82")),
              (QStringList{QStringLiteral("AÃ©"), QStringLiteral("â‚")}));
    // A character split between two read pieces of 1 MiB is still UTF-8.
    auto lines = [](qsizetype bytes) {
        QByteArray out;
        while (out.size() + 10 <= bytes)
            out.append("bbbbbbbbb\n");
        return out.leftJustified(bytes, 'b');
    };
    QByteArray split = lines((1 << 20) - 1);
    split.append("\xc3\xa9");
    const QStringList splitRead = readAll(writeFile(dir, "split", split));
    ASSERT_FALSE(splitRead.isEmpty());
    EXPECT_TRUE(splitRead.last().endsWith(QStringLiteral("bé")));
    // Invalid only far beyond the first chunk still switches the whole file.
    QByteArray big = lines(3 << 20);
    big.append("\r\n\xc3\xa9\xff");
    const QStringList bigRead = readAll(writeFile(dir, "big", big));
    ASSERT_FALSE(bigRead.isEmpty());
    EXPECT_EQ(bigRead.last(), QStringLiteral("Ã©ÿ"));
}

TEST(SymbolFile, unicodeFilesAreReadNulTextIsRefusedAndOverlongLinesAreLeftOut)
{
    QTemporaryDir dir;
    // UTF-16 with its byte-order mark, both byte orders, as editors save "Unicode".
    const QString text = QStringLiteral("GOOG\r\nNESTLÉ\r\n");
    QByteArray le("\xff\xfe"), be("\xfe\xff");
    for (const QChar c : text) {
        le.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
    }
    EXPECT_EQ(readAll(writeFile(dir, "le", le)), texts({"GOOG", "NESTLÉ"}));
    EXPECT_EQ(readAll(writeFile(dir, "be", be)), texts({"GOOG", "NESTLÉ"}));
    EXPECT_EQ(symbolsFromBytes(le), texts({"GOOG", "NESTLÉ"}));
    // NUL characters, in any encoding, make no list of symbols.
    for (const QByteArray& bytes : {QByteArray("A\0B\r\n", 5), QByteArray("\xff\xfe" "A\0\0\0", 6)}) {
        EXPECT_THROW(readAll(writeFile(dir, "nul", bytes)), Failure);
        EXPECT_THROW(symbolsFromBytes(bytes), Failure);
    }
    // A line longer than any symbol is left out and counted; the rest is read.
    const QString path =
        writeFile(dir, "long", "GOOG\n" + QByteArray(101, 'x') + "\n" + QByteArray(100, 'y') + "\n" + QByteArray(5 << 20, 'z'));
    QStringList all;
    EXPECT_EQ(readSymbolFile(path, [&](const QStringList& batch) { all += batch; }), 2);
    EXPECT_EQ(all, (QStringList{QStringLiteral("GOOG"), QString(100, QLatin1Char('y'))}));
}

TEST(SymbolFile, linesSplitAcrossReadPieces)
{
    // A CR LF split between two pieces counts once.
    SymbolLineSplitter s;
    QStringList out;
    s.feed(u"AB\r", out);
    s.feed(u"\nCD\r", out);
    s.feed(u"", out);
    s.feed(u"\n", out);
    s.finish(out);
    EXPECT_EQ(out, texts({"AB", "CD"}));
}

TEST(SymbolFile, badPathsFailWithClearDescriptions)
{
    QTemporaryDir dir;
    auto description = [](const QString& path) {
        try {
            readAll(path);
        } catch (const Failure& f) {
            return f.description();
        }
        return QStringLiteral("<no failure>");
    };
    EXPECT_TRUE(description(dir.path()).startsWith(QStringLiteral("Path is a folder, not a file"))) ;
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(description(fifo).startsWith(QStringLiteral("Not a regular file"))) << "and it does not hang";
    EXPECT_NE(description(dir.filePath(QStringLiteral("missing"))), QStringLiteral("<no failure>"));
}

TEST(SymbolFile, aMillionLinesArriveInBatches)
{
    QTemporaryDir dir;
    QByteArray bytes;
    for (int i = 0; i < 1000000; ++i)
        bytes += "S" + QByteArray::number(i) + "\r\n";
    const QString path = writeFile(dir, "million", bytes);
    qsizetype total = 0;
    int batches = 0;
    QString last;
    readSymbolFile(path, [&](const QStringList& batch) {
        total += batch.size();
        ++batches;
        last = batch.last();
    });
    EXPECT_EQ(total, 1000000);
    EXPECT_GT(batches, 1);
    EXPECT_EQ(last, QStringLiteral("S999999"));
}
