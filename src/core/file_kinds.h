#pragma once
// What a path names on the disk, with symbolic links followed, for writers
// that must not replace something that is not a plain file of the user's.
#include <QString>

namespace larkspire {

enum class FileKind {
    Missing,
    Regular,
    Folder,
    Special, // a character or block device, a FIFO or a socket
};

FileKind fileKind(const QString& path);

// The path a chain of symbolic links ends at: the path itself when it is no
// link, the name the last link points to when that does not exist. A chain
// that loops (or runs past 40 links) gives the path itself.
QString finalLinkTarget(const QString& path);

} // namespace larkspire
