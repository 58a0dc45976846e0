#pragma once

// The running player's answer to a later start on the session bus. Private
// to InstanceGuard.cpp.

#include <QDBusAbstractAdaptor>
#include <QObject>

#include <functional>

class CInstanceAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Radio.Instance")

public:
    CInstanceAdaptor(QObject* parent, std::function<void()> raise)
        : QDBusAbstractAdaptor(parent)
        , raise(std::move(raise))
    {
    }

public slots:
    void Raise()
    {
        if (raise)
            raise();
    }

private:
    std::function<void()> raise;
};
