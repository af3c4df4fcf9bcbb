// Takes the name given on the session bus and then only waits: stopped, it stands for a peer that hangs.
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2 || !QDBusConnection::sessionBus().registerService(QString::fromLocal8Bit(argv[1]))) return 1;
    std::puts("owned");
    std::fflush(stdout);
    return app.exec();
}
