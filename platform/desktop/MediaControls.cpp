#include "platform/desktop/MediaControls.h"

#include "platform/desktop/MprisAdaptors.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kNoTrack = "/org/mpris/MediaPlayer2/TrackList/NoTrack";
constexpr int kFullVolume = 100; // the slider's full scale

QString BusName()
{
    return QStringLiteral("org.mpris.MediaPlayer2.") + QLatin1String(kMediaPlayerBusSuffix);
}

void Run(const std::function<void()>& action)
{
    if (action)
        action();
}

} // namespace

struct CMediaControls::TPrivate
{
    TMediaActions actions;
    TMediaState state;
    // Grows whenever the station changes, so each station is a track of its own.
    unsigned trackNumber = 0;
    QDBusConnection connection{QString()};
    QObject* object = nullptr;
    CMprisPlayer* player = nullptr;

    QString TrackId() const
    {
        if (state.stationName.empty())
            return QLatin1String(kNoTrack);
        return QStringLiteral("/org/orvane/Radio/track/%1").arg(trackNumber);
    }

    void SendChanged(const QVariantMap& changed)
    {
        if (changed.isEmpty())
            return;
        QDBusMessage signal = QDBusMessage::createSignal(QLatin1String(kObjectPath),
                                                         QStringLiteral("org.freedesktop.DBus.Properties"),
                                                         QStringLiteral("PropertiesChanged"));
        signal << QLatin1String(kPlayerInterface) << changed << QStringList();
        connection.send(signal);
    }
};

void DeclareDesktopEntry()
{
    QGuiApplication::setDesktopFileName(QLatin1String(kDesktopEntryId));
}

// ------------------------------------------------------------ root interface

CMprisRoot::CMprisRoot(QObject* parent, CMediaControls::TPrivate& controls)
    : QDBusAbstractAdaptor(parent)
    , controls(controls)
{
}

QString CMprisRoot::Identity() const
{
    return QString::fromUtf8(kMediaPlayerIdentity);
}

QString CMprisRoot::DesktopEntry() const
{
    return QLatin1String(kDesktopEntryId);
}

void CMprisRoot::Raise()
{
    Run(controls.actions.raise);
}

void CMprisRoot::Quit()
{
    Run(controls.actions.quit);
}

// ---------------------------------------------------------- player interface

CMprisPlayer::CMprisPlayer(QObject* parent, CMediaControls::TPrivate& controls)
    : QDBusAbstractAdaptor(parent)
    , controls(controls)
{
}

QString CMprisPlayer::PlaybackStatus() const
{
    switch (controls.state.status) {
    case MediaPlaybackStatus::Playing:
        return QStringLiteral("Playing");
    case MediaPlaybackStatus::Paused:
        return QStringLiteral("Paused");
    case MediaPlaybackStatus::Stopped:
    default:
        return QStringLiteral("Stopped");
    }
}

QVariantMap CMprisPlayer::Metadata() const
{
    const TMediaState& state = controls.state;
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(controls.TrackId())));
    if (!state.stationName.empty()) {
        metadata.insert(QStringLiteral("xesam:title"), QString::fromStdString(state.stationName));
        if (!state.stationUrl.empty())
            metadata.insert(QStringLiteral("xesam:url"), QString::fromStdString(state.stationUrl));
        // A station's title line names what plays now, usually "artist -
        // song"; desktops show the artist line under the title.
        if (!state.streamTitle.empty())
            metadata.insert(QStringLiteral("xesam:artist"), QStringList{QString::fromStdString(state.streamTitle)});
    }
    return metadata;
}

double CMprisPlayer::Volume() const
{
    return static_cast<double>(controls.state.volume) / kFullVolume;
}

void CMprisPlayer::SetVolume(double volume)
{
    if (!std::isfinite(volume) || !controls.actions.setVolume)
        return;
    const double bounded = std::clamp(volume, 0.0, 1.0);
    controls.actions.setVolume(static_cast<int>(std::lround(bounded * kFullVolume)));
}

void CMprisPlayer::Play()
{
    Run(controls.actions.play);
}

void CMprisPlayer::Pause()
{
    Run(controls.actions.pause);
}

void CMprisPlayer::PlayPause()
{
    Run(controls.actions.playPause);
}

void CMprisPlayer::Stop()
{
    Run(controls.actions.stop);
}

void CMprisPlayer::Next()
{
    Run(controls.actions.next);
}

void CMprisPlayer::Previous()
{
    Run(controls.actions.previous);
}

// A live stream has no position to move to: CanSeek is false, and these do
// nothing, as the interface asks of a player that cannot seek.
void CMprisPlayer::Seek(qlonglong /*offset*/) {}
void CMprisPlayer::SetPosition(const QDBusObjectPath& /*track*/, qlonglong /*position*/) {}
void CMprisPlayer::OpenUri(const QString& /*uri*/) {}

// ------------------------------------------------------------------ controls

CMediaControls::CMediaControls()
    : d(std::make_unique<TPrivate>())
{
}

CMediaControls::~CMediaControls()
{
    d->connection.unregisterService(BusName());
    d->connection.unregisterObject(QLatin1String(kObjectPath));
    delete d->object;
}

std::unique_ptr<CMediaControls> CMediaControls::Connect(TMediaActions actions, const TMediaState& initial)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;

    std::unique_ptr<CMediaControls> controls(new CMediaControls());
    TPrivate& d = *controls->d;
    d.actions = std::move(actions);
    d.state = initial;
    d.connection = bus;
    d.object = new QObject();
    new CMprisRoot(d.object, d);
    d.player = new CMprisPlayer(d.object, d);
    if (!bus.registerObject(QLatin1String(kObjectPath), d.object, QDBusConnection::ExportAdaptors))
        return nullptr;
    if (!bus.registerService(BusName()))
        return nullptr; // the destructor takes the object off the bus again
    return controls;
}

void CMediaControls::Update(const TMediaState& state)
{
    const TMediaState old = d->state;
    const bool stationChanged = state.stationName != old.stationName || state.stationUrl != old.stationUrl;
    if (stationChanged)
        ++d->trackNumber;
    d->state = state;

    QVariantMap changed;
    if (state.status != old.status)
        changed.insert(QStringLiteral("PlaybackStatus"), d->player->PlaybackStatus());
    if (stationChanged || state.streamTitle != old.streamTitle)
        changed.insert(QStringLiteral("Metadata"), d->player->Metadata());
    if (state.volume != old.volume)
        changed.insert(QStringLiteral("Volume"), d->player->Volume());
    d->SendChanged(changed);
}

const TMediaState& CMediaControls::State() const
{
    return d->state;
}
