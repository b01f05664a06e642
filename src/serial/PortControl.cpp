// SPDX-License-Identifier: MIT
#include "PortControl.h"

#include "LineSettings.h"

PortControl::PortControl(SerialLink &link, IntervalTimer &timer3) : m_link(link), m_timer3(timer3)
{
}

bool PortControl::openAtStart()
{
    m_commSettings = QString::fromLatin1(Settings19200);
    return m_link.setPortNumber(1) && m_link.applySettings(m_commSettings) && m_link.open();
}

void PortControl::selectPort(int port)
{
    const int other = port == 1 ? 2 : 1;
    m_selectedPort = port;
    if (m_link.isOpen()) m_link.close();
    // The port is opened whenever the switch leaves it closed, so that choosing a port again
    // after a failure really opens it instead of only hiding the panel.
    const bool ok = m_link.setPortNumber(port) && m_link.open();
    if (!ok) {
        const QString description = m_link.errorString();
        if (m_changed) m_changed();
        if (m_warn) m_warn(description);
        m_link.setPortNumber(other);
        if (m_changed) m_changed();
        return;
    }
    setPanelVisible(false);
}

void PortControl::selectSpeed(const QString &settings)
{
    m_commSettings = settings;
    m_link.applySettings(m_commSettings);
    setPanelVisible(false);
}

void PortControl::showPanel()
{
    setPanelVisible(true);
    m_timer3.start();
}

void PortControl::panelTimerTick()
{
    setPanelVisible(false);
    m_timer3.stop();
}

void PortControl::end()
{
    m_link.close();
    if (m_quit) m_quit();
}

void PortControl::setPanelVisible(bool visible)
{
    m_panelVisible = visible;
    if (m_changed) m_changed();
}
