#include "batch/output_file.h"

#include "core/common_routines.h"
#include "core/descriptor_io.h"
#include "core/failure.h"
#include "core/file_kinds.h"
#include "core/plain_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspire {

namespace {

bool isStandardOutput(const QString& path) { return path == QStringLiteral("-"); }

Failure cannotWrite(const QString& path, const QString& why)
{
    return Failure(QStringLiteral("Cannot write ") + path + QStringLiteral(": ") + why);
}

// The folder a new file would be made in must be there already.
void requireFolder(const QString& asked, const QString& target)
{
    const QString folder = QFileInfo(target).absolutePath();
    if (fileKind(folder) != FileKind::Folder)
        throw cannotWrite(asked, QStringLiteral("the folder ") + folder + QStringLiteral(" does not exist"));
    if (fileKind(target) == FileKind::Folder)
        throw cannotWrite(asked, QStringLiteral("it is a folder"));
}

void writeToStream(FILE* to, const QByteArray& bytes)
{
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to) != size_t(bytes.size()) || std::fflush(to) != 0)
        throw Failure(QStringLiteral("Cannot write to standard output"));
}

void writeAllTo(int fd, const QString& path, const QByteArray& bytes)
{
    if (const int error = writeFully(fd, bytes))
        throw cannotWrite(path, qt_error_string(error));
}

// A device, FIFO or socket: written as it is, never replaced or truncated.
void writeInPlace(const QString& path, const QByteArray& bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        throw cannotWrite(path, qt_error_string(errno));
    try {
        writeAllTo(fd, path, bytes);
    } catch (...) {
        ::close(fd);
        throw;
    }
    if (::close(fd) != 0 && errno != EINTR)
        throw cannotWrite(path, qt_error_string(errno));
}

} // namespace

std::optional<int> descriptorNumberNamed(const QString& path)
{
    if (path == QStringLiteral("/dev/stdout"))
        return STDOUT_FILENO;
    if (path == QStringLiteral("/dev/stderr"))
        return STDERR_FILENO;
    for (const QString& prefix : {QStringLiteral("/dev/fd/"), QStringLiteral("/proc/self/fd/")}) {
        bool ok = false;
        const int n = path.startsWith(prefix) ? path.mid(prefix.size()).toInt(&ok) : -1;
        if (ok && n >= 0)
            return n;
    }
    return std::nullopt;
}

namespace {
// Duplicates of the streams named on the command line, held for the run.
QHash<QString, int>& heldDescriptors()
{
    static QHash<QString, int> held;
    return held;
}
} // namespace

bool holdNamedDescriptor(const QString& path)
{
    const auto n = descriptorNumberNamed(path);
    if (!n)
        return true;
    if (heldDescriptors().contains(path))
        return true;
    struct stat st {};
    if (::fstat(*n, &st) != 0)
        return false;
    const int copy = ::fcntl(*n, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return false;
    heldDescriptors().insert(path, copy);
    return true;
}

std::optional<int> openDescriptorNamed(const QString& path)
{
    const auto n = descriptorNumberNamed(path);
    if (!n)
        return std::nullopt;
    if (const auto held = heldDescriptors().constFind(path); held != heldDescriptors().cend())
        return *held;
    if (::fcntl(*n, F_GETFL) == -1)
        return std::nullopt;
    return n;
}

std::optional<QString> outputProblem(const QString& path)
{
    if (path.isEmpty() || isStandardOutput(path) || descriptorNumberNamed(path))
        return std::nullopt;
    const QString target = finalLinkTarget(path);
    const FileKind kind = fileKind(target);
    if (kind == FileKind::Special)
        return std::nullopt;
    if (kind == FileKind::Folder)
        return QStringLiteral("it is a folder");
    const QString folder = QFileInfo(target).absolutePath();
    if (fileKind(folder) != FileKind::Folder)
        return QStringLiteral("the folder ") + folder + QStringLiteral(" does not exist");
    // The new file is made beside the old one: the folder must take it.
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("the folder ") + folder + QStringLiteral(" cannot be written (") + qt_error_string(errno) +
               QLatin1Char(')');
    return std::nullopt;
}

void say(FILE* to, const QString& line)
{
    const QByteArray bytes = (withoutControlCharacters(line) + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

void writeOutput(const QString& path, const QByteArray& bytes, FILE* standardOutput)
{
    if (isStandardOutput(path))
        return writeToStream(standardOutput, bytes);
    if (const auto fd = openDescriptorNamed(path)) { // a pipe, say: the stream this program was given
        std::fflush(standardOutput);
        return writeAllTo(*fd, path, bytes);
    }
    const QString target = finalLinkTarget(path);
    if (fileKind(target) == FileKind::Special)
        return writeInPlace(target, bytes);
    requireFolder(path, target);
    const QFileInfo before(target);
    QSaveFile file(target);
    // The last bytes sit in the buffer until the flush: a full disk shows there.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError)
        throw cannotWrite(path, file.errorString());
    if (before.exists())
        file.setPermissions(before.permissions());
    if (!file.commit())
        throw cannotWrite(path, file.errorString());
}

void writeWorkbookOutput(const QString& path, const SheetCells& cells, FILE* standardOutput)
{
    const QString target = isStandardOutput(path) ? path : finalLinkTarget(path);
    const auto fd = openDescriptorNamed(path);
    if (isStandardOutput(path) || fd || fileKind(target) == FileKind::Special) {
        // The workbook is made whole in the temporary folder first: a
        // device or a pipe gets it in one piece or not at all.
        QTemporaryFile staged(usableTempFolder() + QStringLiteral("/larkspire-XXXXXX.xlsx"));
        if (!staged.open())
            throw cannotWrite(path, staged.errorString());
        staged.close();
        writeXlsx(cells, staged.fileName());
        QFile made(staged.fileName());
        if (!made.open(QIODevice::ReadOnly))
            throw cannotWrite(path, made.errorString());
        const QByteArray bytes = made.readAll();
        if (fd) {
            std::fflush(standardOutput);
            return writeAllTo(*fd, path, bytes);
        }
        return isStandardOutput(path) ? writeToStream(standardOutput, bytes) : writeInPlace(target, bytes);
    }
    requireFolder(path, target);
    const QFileInfo info(target);
    const QString staged = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".part");
    try {
        writeXlsx(cells, staged);
    } catch (const Failure& f) {
        QFile::remove(staged);
        // The staged name means nothing to the user; the name asked for does.
        QString text = f.description();
        throw Failure(text.replace(staged, path), f.code());
    }
    if (info.exists())
        QFile::setPermissions(staged, info.permissions());
    if (std::rename(QFile::encodeName(staged).constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = errno;
        QFile::remove(staged);
        throw cannotWrite(path, qt_error_string(error));
    }
}

} // namespace larkspire
