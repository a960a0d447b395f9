#pragma once
// SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C in the terminal, the terminal
// going away) as a Qt signal on the window's thread, so that the program
// closes its window the ordinary way: the symbol list is stored first. The
// signal handler itself only writes one byte to a pipe; a socket notifier
// on the pipe's other end does the rest.
#include <QObject>

class QSocketNotifier;

namespace larkspire {

class TerminationRequests final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TerminationRequests)
public:
    // Installs the handlers; only one object may exist at a time.
    explicit TerminationRequests(QObject* parent = nullptr);
    // Puts the default handlers back.
    ~TerminationRequests() override;
    // Whether a request came since the object was made (also one that came
    // before anything was connected to requested()).
    bool pending() const { return m_pending; }

signals:
    void requested();

private:
    void onReadable();

    QSocketNotifier* m_notifier = nullptr;
    bool m_pending = false;
};

} // namespace larkspire
