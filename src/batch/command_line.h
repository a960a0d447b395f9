#pragma once
// The program's command line: --help, --version, and --batch with its
// options. Anything else starts the window (Qt's own options included).
#include <QString>
#include <QStringList>

namespace larkspire {

enum class BatchFormat { Text, Tsv, Csv, Xlsx, Json, Jsonl };

struct CommandLine {
    enum class Mode { Window, Help, Version, Batch, Check, UsageError } mode = Mode::Window;
    bool names = false;
    BatchFormat format = BatchFormat::Text;
    QString output;         // empty: standard output
    QStringList fields;     // --fields: the columns chosen, in order; empty: the window's
    bool append = false;    // --append: rows after the output's existing lines
    QString userAgent;      // --user-agent: sent instead of the program's own
    QString tlsCiphers;     // --tls-ciphers: the cipher suites offered instead of the program's own
    QString source;         // --source: "auto" or "pages"; empty: the "Quote Source" setting
    QStringList files;      // symbol files, in order
    QStringList symbols;    // symbols as given
    QString error;          // what is wrong, for a usage error
};

// Reads the arguments after the program's name.
CommandLine parseCommandLine(const QStringList& arguments);

QString usageText();
// The options of --batch, or those --check takes too, as the option table has them.
QStringList optionNames(bool checkToo);
QString versionText();

} // namespace larkspire
