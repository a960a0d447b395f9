// Replays the fuzzer's corpus through the fuzz target under this build's
// sanitizers, so that whatever the fuzzer once found stays covered.
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(FuzzCorpus, everyInputParsesSafely)
{
    const QDir corpus(QStringLiteral(LARKSPIRE_SOURCE_DIR "/fuzz/corpus/quote_page"));
    const QStringList files = corpus.entryList(QDir::Files);
    ASSERT_GT(files.size(), 10);
    for (const QString& name : files) {
        QFile f(corpus.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size())), 0)
            << name.toStdString();
    }
}
