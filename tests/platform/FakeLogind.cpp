// A stand-in for logind on a private bus: answers Inhibit with a pipe's read end, and on "sleep" on its
// standard input emits PrepareForSleep(true), waits until every inhibitor was closed (the pipe's write
// end sees no reader), prints "released", then emits PrepareForSleep(false). "sleep-and-stall" does the same
// and then stops itself, as logind busy after a wake, with the wake sent and before it could answer anyone;
// it prints "stalled" first.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <iostream>

class Manager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    int writeEnd = -1;
public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString&, const QString&, const QString&, const QString&) {
        int fds[2];
        if (pipe(fds) != 0) return {};
        if (writeEnd >= 0) close(writeEnd);
        writeEnd = fds[1];
        QDBusUnixFileDescriptor fd(fds[0]);
        close(fds[0]);
        std::printf("inhibited\n");
        std::fflush(stdout);
        return fd;
    }
Q_SIGNALS:
    void PrepareForSleep(bool start);
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Manager manager;
    auto bus = QDBusConnection::sessionBus();
    bus.registerObject("/org/freedesktop/login1", &manager,
                       QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
    if (!bus.registerService("org.freedesktop.login1")) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        std::string line;
        if (!std::getline(std::cin, line)) {
            app.quit();
            return;
        }
        if (line != "sleep" && line != "sleep-and-stall") return;
        Q_EMIT manager.PrepareForSleep(true);
        // The inhibitor is released when the reader closes its end: poll reports POLLERR on the write end.
        pollfd p{manager.writeEnd, 0, 0};
        for (int i = 0; i < 500; ++i) {
            QCoreApplication::processEvents();
            if (poll(&p, 1, 10) == 1 && (p.revents & (POLLERR | POLLHUP))) {
                std::printf("released\n");
                std::fflush(stdout);
                break;
            }
        }
        Q_EMIT manager.PrepareForSleep(false);
        if (line != "sleep-and-stall") return;
        // A round trip to the bus daemon: the wake has gone out by its answer. Calls to us meanwhile wait.
        bus.interface()->isServiceRegistered("org.freedesktop.login1");
        std::printf("stalled\n");
        std::fflush(stdout);
        ::raise(SIGSTOP);
    });
    return app.exec();
}

#include "FakeLogind.moc"
