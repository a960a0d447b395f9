#include "support/full_disk.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace larkspire::test {

FullDisk::FullDisk()
{
    const QByteArray where = QFile::encodeName(m_dir.path());
    m_mounted = m_dir.isValid() && ::mount("tmpfs", where.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") == 0;
}

FullDisk::~FullDisk()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
}

void FullDisk::fill()
{
    const QByteArray name = QFile::encodeName(filePath(QStringLiteral(".filler")));
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0)
        return;
    const char block[4096] = {};
    // Bounded: a 64 KB device is full long before this ends.
    for (int i = 0; i < 1024; ++i)
        if (::write(fd, block, sizeof block) < 0)
            break;
    for (int i = 0; i < 4096; ++i)
        if (::write(fd, block, 1) < 0)
            break;
    ::close(fd);
}

void FullDisk::makeRoom() { QFile::remove(filePath(QStringLiteral(".filler"))); }

} // namespace larkspire::test
