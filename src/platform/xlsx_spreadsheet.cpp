#include "platform/xlsx_spreadsheet.h"

#include "core/failure.h"
#include "results/workbook.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

namespace larkspire {

namespace {

class XlsxInstance final : public SpreadsheetInstance {
public:
    explicit XlsxInstance(const XlsxSpreadsheetApplication::Services& services) : m_services(services) {}
    void addWorkbook() override { m_hasWorkbook = true; }
    void setCell(int row, int column, const QString& text) override
    {
        requireWorkbook();
        m_cells.set(row, column, text);
    }
    void setNumber(int row, int column, double value, const QString& format, const QString& shown) override
    {
        requireWorkbook();
        m_cells.setNumber(row, column, value, format, shown);
    }
    void autofitColumns() override
    {
        requireWorkbook();
        m_cells.fitColumns();
    }
    void makeVisible() override
    {
        requireWorkbook();
        // A new name that nothing else uses, kept after we are done: the
        // workbook belongs to the user from now on.
        QTemporaryFile file(m_services.folder + QLatin1Char('/') + kWorkbookPrefix + QStringLiteral("XXXXXX.xlsx"));
        file.setAutoRemove(false);
        if (!file.open())
            throw Failure(QStringLiteral("Cannot create a workbook in ") + m_services.folder + QStringLiteral(": ") +
                          file.errorString(), 1004);
        const QString path = file.fileName();
        file.close();
        try {
            writeXlsx(m_cells, path);
        } catch (...) {
            QFile::remove(path);
            throw;
        }
        if (m_services.open && !m_services.open(QUrl::fromLocalFile(path)))
            throw Failure(QStringLiteral("The workbook was saved as \"%1\" in %2, but no program opened it. Open it "
                                         "with your spreadsheet program.")
                              .arg(QFileInfo(path).fileName(), QFileInfo(path).absolutePath()),
                          1004);
    }

private:
    void requireWorkbook() const
    {
        if (!m_hasWorkbook)
            throw Failure(QStringLiteral("Object variable or With block variable not set"), 91);
    }
    XlsxSpreadsheetApplication::Services m_services;
    SheetCells m_cells;
    bool m_hasWorkbook = false;
};

} // namespace

std::unique_ptr<SpreadsheetInstance> XlsxSpreadsheetApplication::create()
{
    if (!m_services.installed || !m_services.installed())
        throw Failure(QStringLiteral("ActiveX component can't create object"), 429);
    return std::make_unique<XlsxInstance>(m_services);
}

namespace {

const char* const kKnownPrograms[] = {"localc", "libreoffice", "soffice", "gnumeric", "onlyoffice-desktopeditors",
                                      "calligrasheets", "et", "wps"};

// The desktop's default application for .xlsx files, asked of xdg-mime
// (bounded in time); empty when there is none.
QString defaultXlsxHandler()
{
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty())
        return QString();
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"),
                          QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet")});
    if (!query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return QString();
    }
    return query.exitCode() == 0 ? QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed() : QString();
}

} // namespace

bool openInSpreadsheetProgram(const QUrl& file, const std::function<bool(const QUrl&)>& openWithDesktop)
{
    if (!defaultXlsxHandler().isEmpty())
        return openWithDesktop(file);
    // No desktop default: a spreadsheet program on PATH takes it directly.
    for (const char* program : kKnownPrograms) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (!found.isEmpty())
            return QProcess::startDetached(found, {file.toLocalFile()});
    }
    return false;
}

int removeOldWorkbooks(const QString& folder, const QDateTime& now)
{
    static const QRegularExpression ours(QStringLiteral("^") + QRegularExpression::escape(kWorkbookPrefix) +
                                         QStringLiteral("[A-Za-z0-9]{6}\\.xlsx$"));
    int removed = 0;
    const QFileInfoList files = QDir(folder).entryInfoList({kWorkbookPrefix + QStringLiteral("*.xlsx")}, QDir::Files);
    for (const QFileInfo& f : files) {
        // Only what this program made: a plain file of the running user's,
        // private as it was created (a name alone could be the user's own
        // "Larkspire results Budget.xlsx", or another user's under root).
        struct stat st {};
        if (::lstat(QFile::encodeName(f.filePath()).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() || (st.st_mode & 07777) != 0600)
            continue;
        if (ours.match(f.fileName()).hasMatch() && QDateTime::fromSecsSinceEpoch(st.st_mtime).secsTo(now) > 24 * 3600 &&
            QFile::remove(f.filePath()))
            ++removed;
    }
    return removed;
}

bool spreadsheetProgramInstalled()
{
    for (const char* program : kKnownPrograms)
        if (!QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return true;
    return !defaultXlsxHandler().isEmpty();
}

} // namespace larkspire
