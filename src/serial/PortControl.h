// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"
#include "SerialLink.h"

#include <QString>

#include <functional>

// The port steps at start, the settings panel (Frame8) with its port and speed options and its
// auto-hide timer (Timer3), and "END".
class PortControl
{
public:
    PortControl(SerialLink &link, IntervalTimer &timer3);

    // Port number 1, line settings, open. False when port 1 cannot be opened; the description
    // is then in the link's errorString().
    bool openAtStart();
    // The last start-up step: Option1 is selected, which runs its port switch.
    void selectAtStart() { selectPort(1); }

    void selectPort(int port);                 // Option1 / Option2
    void selectSpeed(const QString &settings); // Option3 / Option4
    void showPanel();                          // Command33 "COM"
    void panelTimerTick();                     // Timer3
    void end();                                // Command16 "END"

    const QString &commSettings() const { return m_commSettings; }
    bool panelVisible() const { return m_panelVisible; }
    int selectedPort() const { return m_selectedPort; }

    // Shows a failure and returns when the operator has closed it (a modal box in the window).
    void setWarningHandler(std::function<void(const QString &)> h) { m_warn = std::move(h); }
    void setChangedHandler(std::function<void()> h) { m_changed = std::move(h); }
    void setQuitHandler(std::function<void()> h) { m_quit = std::move(h); }

private:
    void setPanelVisible(bool visible);

    SerialLink &m_link;
    IntervalTimer &m_timer3;
    QString m_commSettings;
    bool m_panelVisible = false;
    int m_selectedPort = 0;
    std::function<void(const QString &)> m_warn;
    std::function<void()> m_changed;
    std::function<void()> m_quit;
};
