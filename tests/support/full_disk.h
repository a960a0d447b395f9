#pragma once
// A small tmpfs of our own that can be filled to the last byte, so that a
// write meets the device's real "No space left on device" answer. Mounting
// needs root (as in CI); where it is not allowed, usable() is false and the
// test skips itself.
#include <QString>
#include <QTemporaryDir>

namespace larkspire::test {

class FullDisk final {
public:
    FullDisk();
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool usable() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    const QTemporaryDir& folder() const { return m_dir; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // Writes a filler file until the device answers "no space".
    void fill();
    // Removes the filler: the space comes back.
    void makeRoom();

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace larkspire::test
