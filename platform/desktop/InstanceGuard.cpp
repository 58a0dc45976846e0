#include "platform/desktop/InstanceGuard.h"

#include "platform/desktop/InstanceAdaptor.h"
#include "platform/win/WinApplication.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QLocalServer>
#include <QLocalSocket>

#include <cstdlib>

namespace {

constexpr const char* kObjectPath = "/org/orvane/Radio";
constexpr const char* kInterface = "org.orvane.Radio.Instance";
// Milliseconds a later start waits for the running player to answer.
constexpr int kAnswerMilliseconds = 5000;
// The one request a later start sends through the socket.
constexpr const char kRaiseRequest[] = "raise\n";

} // namespace

struct CInstanceGuard::TPrivate
{
    std::function<void()> raiseHandler;
    bool raisePending = false;
    std::string holder;
    QObject* busObject = nullptr;
    QLocalServer* server = nullptr;

    void RequestRaise()
    {
        if (raiseHandler)
            raiseHandler();
        else
            raisePending = true;
    }

    InstanceClaim ClaimOnBus(QDBusConnection bus)
    {
        busObject = new QObject();
        new CInstanceAdaptor(busObject, [this] { RequestRaise(); });
        // The object is there before the name, so a start that sees the name
        // always finds someone to answer.
        bus.registerObject(QLatin1String(kObjectPath), busObject, QDBusConnection::ExportAdaptors);
        if (bus.registerService(QLatin1String(kInstanceBusName))) {
            holder = "bus";
            return InstanceClaim::First;
        }
        bus.unregisterObject(QLatin1String(kObjectPath));
        delete busObject;
        busObject = nullptr;
        const QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1String(kInstanceBusName), QLatin1String(kObjectPath), QLatin1String(kInterface),
            QStringLiteral("Raise"));
        bus.call(call, QDBus::Block, kAnswerMilliseconds);
        return InstanceClaim::HandedOver;
    }

    static bool AskRunning(const QString& path)
    {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(kAnswerMilliseconds))
            return false;
        socket.write(kRaiseRequest);
        socket.waitForBytesWritten(kAnswerMilliseconds);
        socket.disconnectFromServer();
        return true;
    }

    InstanceClaim ClaimOnSocket(const QString& path)
    {
        if (AskRunning(path))
            return InstanceClaim::HandedOver;
        // The runtime folder is the user's alone, so the socket needs no
        // permissions of its own; and binding a path that exists fails,
        // which is what tells two starts at the same moment apart.
        server = new QLocalServer();
        if (!server->listen(path)) {
            if (AskRunning(path)) {
                delete server;
                server = nullptr;
                return InstanceClaim::HandedOver;
            }
            // Left behind by a player that ended without tidying up.
            QLocalServer::removeServer(path);
            if (!server->listen(path)) {
                delete server;
                server = nullptr;
                return InstanceClaim::Unguarded;
            }
        }
        QObject::connect(server, &QLocalServer::newConnection, server, [this] {
            while (QLocalSocket* client = server->nextPendingConnection()) {
                QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
                QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                    while (client->canReadLine()) {
                        if (client->readLine() == kRaiseRequest)
                            RequestRaise();
                    }
                });
            }
        });
        holder = "socket";
        return InstanceClaim::First;
    }
};

CInstanceGuard::CInstanceGuard()
    : d(std::make_unique<TPrivate>())
{
}

CInstanceGuard::~CInstanceGuard()
{
    if (d->busObject != nullptr) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QLatin1String(kInstanceBusName));
        bus.unregisterObject(QLatin1String(kObjectPath));
        delete d->busObject;
    }
    delete d->server; // closing it removes the socket file
}

InstanceClaim CInstanceGuard::Claim()
{
    CWinApplication::Ensure();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        return d->ClaimOnBus(bus);
    const char* runtimeFolder = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeFolder == nullptr || runtimeFolder[0] != '/')
        return InstanceClaim::Unguarded;
    return d->ClaimOnSocket(QString::fromLocal8Bit(runtimeFolder) + QLatin1Char('/') +
                            QLatin1String(kInstanceSocketName));
}

void CInstanceGuard::SetRaiseHandler(std::function<void()> handler)
{
    d->raiseHandler = std::move(handler);
    if (d->raiseHandler && d->raisePending) {
        d->raisePending = false;
        d->raiseHandler();
    }
}

std::string CInstanceGuard::Holder() const
{
    return d->holder;
}
