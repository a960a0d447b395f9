#include "window/cursor_file.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

namespace larkspire {

// A .CUR file is an icon directory whose type is 2 and whose entries carry
// the hot spot where an icon keeps its planes and bit count. Turned into an
// icon directory, Qt's ICO reader decodes the image itself.
std::optional<CursorImage> readCursorFile(const QByteArray& data)
{
    constexpr int headerSize = 6;
    constexpr int entrySize = 16;
    if (data.size() < headerSize + entrySize)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const quint16 reserved = qFromLittleEndian<quint16>(bytes);
    const quint16 type = qFromLittleEndian<quint16>(bytes + 2);
    const quint16 count = qFromLittleEndian<quint16>(bytes + 4);
    if (reserved != 0 || type != 2 || count == 0 || data.size() < headerSize + entrySize * count)
        return std::nullopt;
    const QPoint hotSpot(qFromLittleEndian<quint16>(bytes + headerSize + 4),
                         qFromLittleEndian<quint16>(bytes + headerSize + 6));

    QByteArray ico = data;
    auto* out = reinterpret_cast<uchar*>(ico.data());
    qToLittleEndian<quint16>(1, out + 2);
    for (int i = 0; i < count; ++i) {
        uchar* entry = out + headerSize + entrySize * i;
        qToLittleEndian<quint16>(1, entry + 4); // planes
        qToLittleEndian<quint16>(0, entry + 6); // bit count: taken from the bitmap
    }
    QBuffer buffer(&ico);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return CursorImage{image, hotSpot};
}

} // namespace larkspire
