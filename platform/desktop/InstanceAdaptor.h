#pragma once

// The running player's answer to a later start on the session bus. Private
// to InstanceGuard.cpp.

#include <QDBusAbstractAdaptor>
#include <QObject>
#include <QStringList>

#include <functional>

class CInstanceAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Radio.Instance")

public:
    CInstanceAdaptor(QObject* parent, std::function<void()> raise, std::function<void(const QStringList&)> open = {})
        : QDBusAbstractAdaptor(parent)
        , raise(std::move(raise))
        , open(std::move(open))
    {
    }

public slots:
    void Raise()
    {
        if (raise)
            raise();
    }
    // Items a later start was given, each percent-encoded.
    void Open(const QStringList& items)
    {
        if (open)
            open(items);
    }

private:
    std::function<void()> raise;
    std::function<void(const QStringList&)> open;
};
