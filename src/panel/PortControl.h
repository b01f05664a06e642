// SPDX-License-Identifier: MIT
#pragma once

#include "IntervalTimer.h"
#include "SerialLink.h"

#include <QObject>
#include <QString>

// The port steps at start, the settings panel (Frame8) with its port and speed options and its
// auto-hide timer (Timer3), and "END". An open may still be connecting when a step returns; its
// outcome is handled when the link reports it, and nothing waits for it meanwhile.
class PortControl final : public QObject
{
    Q_OBJECT
public:
    // How long the settings panel stays up after COM (Timer3).
    static constexpr std::chrono::milliseconds SettingsShownFor{5000};

    PortControl(SerialLink &link, IntervalTimer &timer3, QObject *parent = nullptr);

    // Port number 1, line settings, open. False when port 1 cannot be opened; the link's
    // failure() says why. True when it is open, or connecting (isStarting()): then started() or
    // startFailed() follows.
    [[nodiscard]] bool openAtStart();
    // The last start-up step: Option1 is selected, which runs its port switch.
    void selectAtStart() { selectPort(1); }
    bool isStarting() const { return m_pending == Pending::Start; }

    void selectPort(int port);                 // Option1 / Option2
    void selectSpeed(const QString &settings); // Option3 / Option4
    void showSettings();                       // Command33 "COM"
    void settingsTimerTick();                  // Timer3
    void end();                                // Command16 "END"

    const QString &commSettings() const { return m_commSettings; }
    bool settingsVisible() const { return m_settingsVisible; }
    int selectedPort() const { return m_selectedPort; }

Q_SIGNALS:
    // The settings panel's visibility, the selected port or the speed changed, or a port switch
    // failed and fell back to the other port number.
    void settingsChanged();
    // Shown to the operator before the port steps go on (a modal box in the window).
    void warning(const LinkFailure &failure);
    void quitRequested();
    // Port 1, connecting at start, has opened, or could not be opened.
    void started();
    void startFailed(const LinkFailure &failure);

private:
    // Which of our own opens the link is still connecting; other openFailed() are not ours.
    enum class Pending { None, Start, Switch };

    void setSettingsVisible(bool visible);
    void switchFailed(const LinkFailure &failure, int other);
    void onOpened();
    void onOpenFailed(const LinkFailure &failure);

    SerialLink &m_link;
    IntervalTimer &m_timer3;
    QString m_commSettings;
    bool m_settingsVisible = false;
    int m_selectedPort = 0;
    bool m_choosingSpeed = false;
    bool m_saidNotSettable = false;
    Pending m_pending = Pending::None;
    int m_fallbackPort = 0;
};
