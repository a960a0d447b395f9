#pragma once
#include <QByteArray>
#include <QImage>
#include <QPoint>

#include <optional>

namespace larkspire {

struct CursorImage {
    QImage image;
    QPoint hotSpot;
};

// Reads a Windows cursor file (.CUR): the first image and its hot spot.
// Returns nothing for data that is not a readable cursor.
std::optional<CursorImage> readCursorFile(const QByteArray& data);

} // namespace larkspire
