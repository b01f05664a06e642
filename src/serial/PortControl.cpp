// SPDX-License-Identifier: MIT
#include "PortControl.h"

#include "LineSettings.h"

PortControl::PortControl(SerialLink &link, IntervalTimer &timer3, QObject *parent)
    : QObject(parent), m_link(link), m_timer3(timer3)
{
    m_timer3.setInterval(SettingsShownFor);
    connect(&m_timer3, &IntervalTimer::timeout, this, &PortControl::settingsTimerTick);
}

bool PortControl::openAtStart()
{
    m_commSettings = QString::fromLatin1(Settings19200);
    return m_link.setPortNumber(1) && m_link.applySettings(*LineSettings::parse(m_commSettings)) &&
           m_link.open();
}

void PortControl::selectPort(int port)
{
    const int other = port == 1 ? 2 : 1;
    m_selectedPort = port;
    // Closing also ends a wait for a lost device: the operator has chosen again.
    m_link.close();
    // The port is opened whenever the switch leaves it closed, so that choosing a port again
    // after a failure really opens it instead of only hiding the panel.
    const bool ok = m_link.setPortNumber(port) && m_link.open();
    if (!ok) {
        const LinkFailure failure = m_link.failure();
        Q_EMIT settingsChanged();
        Q_EMIT warning(failure);
        if (!m_link.setPortNumber(other)) Q_EMIT warning(m_link.failure());
        Q_EMIT settingsChanged();
        return;
    }
    setSettingsVisible(false);
}

void PortControl::selectSpeed(const QString &settings)
{
    m_commSettings = settings;
    const auto parsed = LineSettings::parse(settings);
    if (parsed && !m_link.applySettings(*parsed)) Q_EMIT warning(m_link.failure());
    setSettingsVisible(false);
}

void PortControl::showSettings()
{
    setSettingsVisible(true);
    m_timer3.start();
}

void PortControl::settingsTimerTick()
{
    setSettingsVisible(false);
    m_timer3.stop();
}

void PortControl::end()
{
    m_link.close();
    Q_EMIT quitRequested();
}

void PortControl::setSettingsVisible(bool visible)
{
    m_settingsVisible = visible;
    Q_EMIT settingsChanged();
}
