#include "platform/desktop/NetworkState.h"

#include <QDBusConnection>
#include <QNetworkInformation>
#include <QObject>

namespace {

const char* const kLogindService = "org.freedesktop.login1";
const char* const kLogindPath = "/org/freedesktop/login1";
const char* const kLogindManager = "org.freedesktop.login1.Manager";

// Qt's backend that reads NetworkManager over the system bus.
const char16_t* const kNetworkManagerBackend = u"networkmanager";

bool IsOnline(QNetworkInformation::Reachability reachability)
{
    // A local or site connection may still reach a station in the same
    // network; only "disconnected" stops the reopenings.
    return reachability != QNetworkInformation::Reachability::Disconnected;
}

} // namespace

class CNetworkState::CWatcher : public QObject
{
    Q_OBJECT

public:
    explicit CWatcher(Callbacks callbacks) : callbacks(std::move(callbacks))
    {
        if (QNetworkInformation::instance() != nullptr || QNetworkInformation::loadBackendByName(kNetworkManagerBackend)) {
            information = QNetworkInformation::instance();
            if (information != nullptr && information->backendName() != QStringView(kNetworkManagerBackend))
                information = nullptr; // another backend was loaded first: not NetworkManager's word
        }
        if (information != nullptr) {
            online = IsOnline(information->reachability());
            connect(information, &QNetworkInformation::reachabilityChanged, this,
                    [this](QNetworkInformation::Reachability reachability) { OnReachability(reachability); });
        }
        QDBusConnection bus = QDBusConnection::systemBus();
        if (bus.isConnected())
            bus.connect(kLogindService, kLogindPath, kLogindManager, "PrepareForSleep", this,
                        SLOT(OnPrepareForSleep(bool)));
    }

    ~CWatcher() override
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (bus.isConnected())
            bus.disconnect(kLogindService, kLogindPath, kLogindManager, "PrepareForSleep", this,
                           SLOT(OnPrepareForSleep(bool)));
    }

    bool Online() const { return online; }
    bool KnowsNetwork() const { return information != nullptr; }

private Q_SLOTS:
    void OnPrepareForSleep(bool sleeping)
    {
        if (callbacks.sleepChanged)
            callbacks.sleepChanged(sleeping);
    }

private:
    void OnReachability(QNetworkInformation::Reachability reachability)
    {
        const bool now = IsOnline(reachability);
        if (now == online)
            return;
        online = now;
        if (callbacks.onlineChanged)
            callbacks.onlineChanged(online);
    }

    Callbacks callbacks;
    QNetworkInformation* information = nullptr; // Qt's, for the process
    bool online = true;
};

CNetworkState::CNetworkState(Callbacks callbacks) : watcher(std::make_unique<CWatcher>(std::move(callbacks))) {}

CNetworkState::~CNetworkState() = default;

bool CNetworkState::Online() const
{
    return watcher->Online();
}

bool CNetworkState::KnowsNetwork() const
{
    return watcher->KnowsNetwork();
}

#include "NetworkState.moc"
