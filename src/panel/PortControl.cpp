// SPDX-License-Identifier: MIT
#include "PortControl.h"

#include "LineSettings.h"

#include <utility>

PortControl::PortControl(SerialLink &link, IntervalTimer &timer3, QObject *parent)
    : QObject(parent), m_link(link), m_timer3(timer3)
{
    m_timer3.setInterval(SettingsShownFor);
    connect(&m_timer3, &IntervalTimer::timeout, this, &PortControl::settingsTimerTick);
    connect(&m_link, &SerialLink::opened, this, &PortControl::onOpened);
    connect(&m_link, &SerialLink::openFailed, this, &PortControl::onOpenFailed);
    // Said once, when the operator chooses a speed that the device cannot be given; the speed
    // applied at start is the device server's business.
    connect(&m_link, &SerialLink::settingsNotApplied, this, [this](const LinkFailure &failure) {
        if (m_choosingSpeed && !std::exchange(m_saidNotSettable, true)) Q_EMIT warning(failure);
    });
}

bool PortControl::openAtStart()
{
    m_pending = Pending::None;
    m_commSettings = QString::fromLatin1(Settings19200);
    if (!m_link.setPortNumber(1) || !m_link.applySettings(*LineSettings::parse(m_commSettings)) ||
        !m_link.open())
        return false;
    if (m_link.isConnecting()) m_pending = Pending::Start;
    return true;
}

void PortControl::selectPort(int port)
{
    const int other = port == 1 ? 2 : 1;
    m_selectedPort = port;
    m_pending = Pending::None;
    // Closing also ends a wait for a lost device, and a connection still being made: the
    // operator has chosen again.
    m_link.close();
    // The port is opened whenever the switch leaves it closed, so that choosing a port again
    // after a failure really opens it instead of only hiding the panel.
    if (!m_link.setPortNumber(port) || !m_link.open()) return switchFailed(m_link.failure(), other);
    if (m_link.isConnecting()) {
        // Handled as a success now; a failure comes later like one found now.
        m_pending = Pending::Switch;
        m_fallbackPort = other;
    }
    setSettingsVisible(false);
}

void PortControl::switchFailed(const LinkFailure &failure, int other)
{
    Q_EMIT settingsChanged();
    Q_EMIT warning(failure);
    if (!m_link.setPortNumber(other)) Q_EMIT warning(m_link.failure());
    Q_EMIT settingsChanged();
}

void PortControl::onOpened()
{
    const Pending was = std::exchange(m_pending, Pending::None);
    if (was != Pending::Start) return;
    // Port 1 has just been connected: Option1's switch would only connect it once more, so it
    // is selected as it stands.
    m_selectedPort = 1;
    setSettingsVisible(false);
    Q_EMIT started();
}

void PortControl::onOpenFailed(const LinkFailure &failure)
{
    const Pending was = std::exchange(m_pending, Pending::None);
    if (was == Pending::Start) Q_EMIT startFailed(failure);
    if (was == Pending::Switch) switchFailed(failure, m_fallbackPort);
}

void PortControl::selectSpeed(const QString &settings)
{
    m_commSettings = settings;
    const auto parsed = LineSettings::parse(settings);
    m_choosingSpeed = true;
    const bool applied = !parsed || m_link.applySettings(*parsed);
    m_choosingSpeed = false;
    if (!applied) Q_EMIT warning(m_link.failure());
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
    m_pending = Pending::None;
    m_link.close();
    Q_EMIT quitRequested();
}

void PortControl::setSettingsVisible(bool visible)
{
    m_settingsVisible = visible;
    Q_EMIT settingsChanged();
}
