#pragma once
// Writing all of a buffer to an open descriptor, the way every writer of
// ours that works below QFile needs it.
#include <QByteArrayView>

#include <cerrno>
#include <unistd.h>

namespace larkspire {

// Writes every byte, again after an interrupted call; 0 when all went, else
// the error (ENOSPC for a descriptor that takes no more).
inline int writeFully(int fd, QByteArrayView bytes)
{
    for (qsizetype put = 0; put < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + put, size_t(bytes.size() - put));
        if (n > 0)
            put += n;
        else if (n == 0)
            return ENOSPC;
        else if (errno != EINTR)
            return errno;
    }
    return 0;
}

} // namespace larkspire
