#include "platform/desktop/InstanceGuard.h"

#include "platform/desktop/InstanceAdaptor.h"
#include "platform/win/WinApplication.h"

#include "platform/win/Win.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusReply>
#include <QDBusMessage>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMetaObject>

#include <sys/stat.h>

#include <cstdlib>

namespace {

constexpr const char* kObjectPath = "/org/orvane/Radio";
constexpr const char* kInterface = "org.orvane.Radio.Instance";
// Milliseconds a later start waits for the running player to answer. A
// player that does not answer within them is stuck (stopped, or hung on its
// way out) and the later start takes its place.
constexpr int kAnswerMilliseconds = 1000;
// The one request a later start sends through the socket, and the running
// player's answer to it.
constexpr const char kRaiseRequest[] = "raise\n";
constexpr const char kRaiseAnswer[] = "ok\n";

// The inode of the file at `path`, 0 when there is none.
ino_t InodeOf(const QString& path)
{
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

// A server whose socket file a later start took over. Closing it would remove
// that start's socket file (QLocalServer removes the file of its name), so it
// is left open until the process ends; kept here so it stays reachable.
QLocalServer* abandonedServer = nullptr;

// A later start's items: "open", then a tab and a percent-encoded item for
// each, then a line end. Paths may hold any byte but zero, a tab or a line
// end among them, so each is encoded.
constexpr const char kOpenRequest[] = "open";

QStringList EncodedItems(const std::vector<std::string>& items)
{
    QStringList encoded;
    for (const std::string& item : items)
        encoded << QString::fromLatin1(QByteArray::fromStdString(item).toPercentEncoding());
    return encoded;
}

std::vector<std::string> DecodedItems(const QStringList& encoded)
{
    std::vector<std::string> items;
    for (const QString& item : encoded) {
        const QByteArray decoded = QByteArray::fromPercentEncoding(item.toLatin1());
        if (!decoded.isEmpty())
            items.push_back(decoded.toStdString());
    }
    return items;
}

} // namespace

struct CInstanceGuard::TPrivate
{
    std::function<void()> raiseHandler;
    bool raisePending = false;
    std::function<void(const std::vector<std::string>&)> openHandler;
    std::vector<std::vector<std::string>> openPending;
    std::vector<std::string> forward;
    std::string holder;
    QObject* busObject = nullptr;
    // Items handed over wait on it until the answer is out; destroyed with
    // the guard, it drops what still waits.
    QObject answered;
    QLocalServer* server = nullptr;
    QString socketPath;
    ino_t socketInode = 0;

    void RequestRaise()
    {
        if (raiseHandler)
            raiseHandler();
        else
            raisePending = true;
    }

    void RequestOpen(const QStringList& encoded)
    {
        RequestRaise();
        std::vector<std::string> items = DecodedItems(encoded);
        if (items.empty())
            return;
        // Handled after the answer has gone out: reading a large playlist
        // may take longer than a later start waits for an answer, and an
        // unanswered start takes the running one for frozen and its place.
        QMetaObject::invokeMethod(
            &answered,
            [this, items = std::move(items)]() mutable {
                if (openHandler)
                    openHandler(items);
                else
                    openPending.push_back(std::move(items));
            },
            Qt::QueuedConnection);
    }

    QByteArray SocketRequest() const
    {
        if (forward.empty())
            return kRaiseRequest;
        QByteArray request = kOpenRequest;
        for (const QString& item : EncodedItems(forward))
            request += '\t' + item.toLatin1();
        return request + '\n';
    }

    InstanceClaim ClaimOnBus(QDBusConnection bus)
    {
        busObject = new QObject();
        new CInstanceAdaptor(busObject, [this] { RequestRaise(); },
                             [this](const QStringList& items) { RequestOpen(items); });
        // The object is there before the name, so a start that sees the name
        // always finds someone to answer.
        bus.registerObject(QLatin1String(kObjectPath), busObject, QDBusConnection::ExportAdaptors);
        if (RegisterName(bus, QDBusConnectionInterface::DontQueueService))
            return InstanceClaim::First;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QLatin1String(kInstanceBusName), QLatin1String(kObjectPath), QLatin1String(kInterface),
            forward.empty() ? QStringLiteral("Raise") : QStringLiteral("Open"));
        if (!forward.empty())
            call << EncodedItems(forward);
        const QDBusMessage answer = bus.call(call, QDBus::Block, kAnswerMilliseconds);
        if (!Unanswered(answer) || !RegisterName(bus, QDBusConnectionInterface::ReplaceExistingService)) {
            bus.unregisterObject(QLatin1String(kObjectPath));
            delete busObject;
            busObject = nullptr;
            return InstanceClaim::HandedOver;
        }
        return InstanceClaim::First;
    }

    // Claims the name, letting a later start take it over should this player
    // stop answering. A player that loses the name to one ends: two players
    // would otherwise play side by side once it runs again.
    bool RegisterName(QDBusConnection bus, QDBusConnectionInterface::ServiceQueueOptions queue)
    {
        QDBusConnectionInterface* busInterface = bus.interface();
        if (busInterface == nullptr)
            return false;
        const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = busInterface->registerService(
            QLatin1String(kInstanceBusName), queue, QDBusConnectionInterface::AllowReplacement);
        if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered)
            return false;
        QObject::connect(busInterface, &QDBusConnectionInterface::serviceUnregistered, busObject,
                         [this](const QString& name) {
                             if (name != QLatin1String(kInstanceBusName) || holder != "bus")
                                 return;
                             holder.clear();
                             PostQuitMessage(0);
                         });
        holder = "bus";
        return true;
    }

    // Whether the running player let the call time out (rather than answer
    // it, or fail it for a reason of its own).
    static bool Unanswered(const QDBusMessage& answer)
    {
        if (answer.type() != QDBusMessage::ErrorMessage)
            return false;
        const QDBusError::ErrorType error = QDBusError(answer).type();
        return error == QDBusError::NoReply || error == QDBusError::Timeout || error == QDBusError::TimedOut;
    }

    enum class Answer { None, Answered, Silent };

    // Asks the player behind the socket to come to the front. Silent: it
    // took the request but did not answer within the time.
    Answer AskRunning(const QString& path) const
    {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(kAnswerMilliseconds))
            return Answer::None;
        socket.write(SocketRequest());
        socket.waitForBytesWritten(kAnswerMilliseconds);
        const bool answered = socket.canReadLine() || socket.waitForReadyRead(kAnswerMilliseconds);
        const bool understood = answered && socket.readLine() == kRaiseAnswer;
        socket.disconnectFromServer();
        return understood ? Answer::Answered : Answer::Silent;
    }

    InstanceClaim ClaimOnSocket(const QString& path)
    {
        const Answer first = AskRunning(path);
        if (first == Answer::Answered)
            return InstanceClaim::HandedOver;
        // A player that took the request and never answered is stuck: its
        // socket file is taken over.
        if (first == Answer::Silent)
            QLocalServer::removeServer(path);
        // The runtime folder is the user's alone, so the socket needs no
        // permissions of its own; and binding a path that exists fails,
        // which is what tells two starts at the same moment apart.
        server = new QLocalServer();
        if (!server->listen(path)) {
            if (AskRunning(path) == Answer::Answered) {
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
                        const QByteArray line = client->readLine();
                        if (line == kRaiseRequest) {
                            client->write(kRaiseAnswer);
                            client->flush();
                            RequestRaise();
                        } else if (line.startsWith(QByteArray(kOpenRequest) + '\t')) {
                            client->write(kRaiseAnswer);
                            client->flush();
                            QStringList items;
                            for (const QByteArray& item : line.trimmed().split('\t').mid(1))
                                items << QString::fromLatin1(item);
                            RequestOpen(items);
                        }
                    }
                });
            }
        });
        holder = "socket";
        socketPath = path;
        socketInode = InodeOf(path);
        return InstanceClaim::First;
    }
};

CInstanceGuard::CInstanceGuard()
    : d(std::make_unique<TPrivate>())
{
}

CInstanceGuard::~CInstanceGuard()
{
    d->holder.clear();
    if (d->busObject != nullptr) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QLatin1String(kInstanceBusName));
        bus.unregisterObject(QLatin1String(kObjectPath));
        delete d->busObject;
    }
    if (d->server != nullptr && InodeOf(d->socketPath) != d->socketInode) {
        // Taken over by a later start while this player did not answer.
        d->server->disconnect();
        abandonedServer = d->server;
    } else {
        delete d->server; // closing it removes the socket file
    }
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

void CInstanceGuard::SetItemsToForward(std::vector<std::string> items)
{
    d->forward = std::move(items);
}

void CInstanceGuard::SetOpenHandler(std::function<void(const std::vector<std::string>&)> handler)
{
    d->openHandler = std::move(handler);
    if (!d->openHandler)
        return;
    // The handler may itself be replaced while it runs: take the list first.
    std::vector<std::vector<std::string>> pending;
    pending.swap(d->openPending);
    for (const std::vector<std::string>& items : pending)
        d->openHandler(items);
}

std::string CInstanceGuard::Holder() const
{
    return d->holder;
}
