#include "batch/append_output.h"

#include "core/descriptor_io.h"
#include "core/failure.h"
#include "core/file_kinds.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace larkspire {

namespace {

const QByteArray kBom = "\xEF\xBB\xBF";
constexpr qint64 kLastLineReach = 1 << 20; // a JSON Lines record is far shorter
constexpr int kLockWaitMs = 60000;

Failure failureOf(const AppendTarget& t, const QString& what) { return Failure(t.path + QStringLiteral(": ") + what); }

QByteArray withoutLineEnd(QByteArray line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

// The cells of one line of CSV (quoted fields undone) or TSV.
QList<QByteArray> cellsOf(const QByteArray& line, BatchFormat format)
{
    if (format == BatchFormat::Tsv)
        return line.split('\t');
    QList<QByteArray> cells{QByteArray()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            cells.last() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            cells << QByteArray();
        } else {
            cells.last() += c;
        }
    }
    return cells;
}

// What says a row is one already there: its symbol and its quote time, as
// the line holds them; empty when the fields hold no time or the line is no
// row (a JSON Lines failure, say).
class RowKeys {
public:
    RowKeys(const AppendTarget& t) : m_format(t.format)
    {
        m_symbol = t.headers.indexOf(QStringLiteral("symbol"));
        m_time = t.headers.indexOf(QStringLiteral("time"));
    }
    bool active() const { return m_symbol >= 0 && m_time >= 0; }
    QByteArray of(const QByteArray& rawLine) const
    {
        const QByteArray line = withoutLineEnd(rawLine);
        if (m_format == BatchFormat::Jsonl) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QString time = o.value(QStringLiteral("time")).toString();
            return time.isEmpty() || o.contains(QStringLiteral("error"))
                       ? QByteArray()
                       : o.value(QStringLiteral("symbol")).toString().toUtf8() + '\n' + time.toUtf8();
        }
        const QList<QByteArray> cells = cellsOf(line, m_format);
        const QByteArray time = cells.value(m_time);
        return time.isEmpty() ? QByteArray() : cells.value(m_symbol) + '\n' + time;
    }

private:
    BatchFormat m_format;
    qsizetype m_symbol = -1;
    qsizetype m_time = -1;
};

// The file's own header check: its first line (a byte-order mark and either
// line end allowed) is this run's header.
bool headerMatches(const QByteArray& firstLine, const AppendTarget& t)
{
    QByteArray line = firstLine;
    if (line.startsWith(kBom))
        line.remove(0, kBom.size());
    return withoutLineEnd(line) == withoutLineEnd(t.header);
}

// A JSON Lines file's last line: an object of this run's fields, or the
// failure object of a symbol.
bool lastLineMatches(const QByteArray& lastLine, const AppendTarget& t)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(withoutLineEnd(lastLine), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    QStringList keys = doc.object().keys();
    QStringList fields = t.headers;
    keys.sort();
    fields.sort();
    return keys == fields || keys == QStringList{QStringLiteral("error"), QStringLiteral("symbol")};
}

// What the file holds that decides whether these rows belong after it.
void checkContent(QFile& file, const AppendTarget& t)
{
    if (t.format == BatchFormat::Jsonl) {
        const qint64 size = file.size();
        file.seek(std::max<qint64>(0, size - kLastLineReach));
        QByteArray tail = file.read(kLastLineReach);
        while (tail.endsWith('\n') || tail.endsWith('\r'))
            tail.chop(1);
        const QByteArray last = tail.mid(tail.lastIndexOf('\n') + 1);
        if (!last.isEmpty() && !lastLineMatches(last, t))
            throw failureOf(t, QStringLiteral("its last line is not a JSON object of these fields; nothing was written "
                                              "(choose the same --fields, or another file)"));
        return;
    }
    file.seek(0);
    if (!headerMatches(file.readLine(64 * 1024), t))
        throw failureOf(t, QStringLiteral("its header is not this run's; nothing was written (choose the same "
                                          "--fields)"));
}

// An exclusive advisory lock, waited for a bounded time.
void lock(int fd, const AppendTarget& t)
{
    const QDeadlineTimer deadline(kLockWaitMs);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            return; // a file system without locks: append all the same
        if (deadline.hasExpired())
            throw failureOf(t, QStringLiteral("another program kept it locked for a minute; nothing was written"));
        QThread::msleep(20);
    }
}

void writeAll(int fd, const QByteArray& bytes, qint64 oldSize, const AppendTarget& t)
{
    int error = writeFully(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (error == 0)
        return;
    // The old rows exactly as they were: what was added is taken back.
    if (::ftruncate(fd, oldSize) == 0)
        ::fsync(fd);
    throw failureOf(t, QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral("; the file is as it was"));
}

} // namespace

void checkAppendTarget(const AppendTarget& t)
{
    QFile file(finalLinkTarget(t.path));
    if (fileKind(file.fileName()) != FileKind::Regular || file.size() == 0)
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw failureOf(t, file.errorString());
    checkContent(file, t);
}

int appendLines(const AppendTarget& t, const QList<QByteArray>& lines)
{
    const int fd = ::open(QFile::encodeName(t.path).constData(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        throw failureOf(t, QString::fromLocal8Bit(std::strerror(errno)));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); } // and the lock with it
    } closer{fd};
    lock(fd, t);
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw failureOf(t, QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw failureOf(t, file.errorString());
    const qint64 oldSize = st.st_size;
    QByteArray lineEnd = t.format == BatchFormat::Csv ? "\r\n" : "\n";
    QByteArray bytes;
    const RowKeys keys(t);
    QSet<QByteArray> there;
    if (oldSize == 0) {
        bytes = t.header;
    } else {
        checkContent(file, t);
        if (t.format != BatchFormat::Jsonl) { // the file's own line ends
            file.seek(0);
            const QByteArray first = file.readLine(64 * 1024);
            lineEnd = first.endsWith("\r\n") ? "\r\n" : "\n";
        }
        file.seek(oldSize - 1);
        if (file.read(1) != "\n")
            bytes += lineEnd;
        if (keys.active()) {
            // The file's rows, a line at a time: a long history costs no
            // more memory than its longest line.
            QSet<QByteArray> wanted;
            for (const QByteArray& line : lines) {
                const QByteArray key = keys.of(line);
                wanted << key.left(key.indexOf('\n'));
            }
            file.seek(0);
            while (!file.atEnd() && file.pos() < oldSize) {
                const QByteArray key = keys.of(file.readLine());
                if (!key.isEmpty() && wanted.contains(key.left(key.indexOf('\n'))))
                    there << key;
            }
        }
    }
    int left = 0;
    for (const QByteArray& line : lines) {
        const QByteArray key = keys.active() ? keys.of(line) : QByteArray();
        if (!key.isEmpty() && there.contains(key)) {
            ++left;
            continue;
        }
        if (!key.isEmpty())
            there << key;
        bytes += withoutLineEnd(line) + lineEnd;
    }
    writeAll(fd, bytes, oldSize, t);
    return left;
}

} // namespace larkspire
