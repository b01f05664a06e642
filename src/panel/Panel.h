// SPDX-License-Identifier: MIT
#pragma once

#include "ButtonTables.h"
#include "Exchange.h"
#include "IntervalTimer.h"
#include "PortControl.h"
#include "SerialLink.h"

#include <QObject>
#include <QString>

#include <memory>

// The behaviour of the window without the widgets: the panel state, the four timers, the
// button handlers, Ctrl+H and the data-area toggle. The window forwards its events here and
// draws what changes; tests drive it with a fake link and a virtual clock.
class Panel final : public QObject
{
    Q_OBJECT
public:
    // Overall window heights in twips: normal, the toggle's open height, Ctrl+H's full height.
    static constexpr int NormalHeight = 5200;
    static constexpr int ToggleHeight = 6645;
    static constexpr int FullHeight = 7200;
    // The toggle closes from this height up and opens below it.
    static constexpr int OpenFromHeight = 6000;

    Panel(SerialLink &link, const TimerFactory &makeTimer, QObject *parent = nullptr);
    ~Panel() override;

    // The start-up port steps. False when port 1 cannot be opened (link().failure() says why);
    // the window must not be shown then. True when port 1 is open, or still connecting
    // (ports().isStarting()): then ports() says started() or startFailed() from the event loop.
    [[nodiscard]] bool load();

    void click(const OneShotButton &button);
    void press(const HoldButton &button);
    void release(const HoldButton &button);
    void repeatTick(); // Timer1

    // A click on any control that acts when clicked, by its design name: a one-shot button,
    // COM, END, the toggle or an option. Held buttons send nothing on a click, as from the
    // keyboard. False for a name that no such control has.
    bool activate(QLatin1StringView name);
    // Press and release of a held button by its design name; false for other names.
    bool press(QLatin1StringView name);
    bool release(QLatin1StringView name);

    // Key preview: virtual key code and modifier mask (see KeyMap).
    void keyDown(int keyCode, int modifierMask);
    void toggleDataArea(); // Command34
    static constexpr bool countsAsOpen(int heightTwips) { return heightTwips >= OpenFromHeight; }

    int height() const { return m_height; }
    const QString &command34Caption() const { return m_command34Caption; }
    bool command34Visible() const { return m_command34Visible; }
    quint8 repeatCode() const { return m_repeatCode; }
    quint8 cursorMode() const { return m_cursorMode; }

    SerialLink &link() { return m_link; }
    Exchange &exchange() { return m_exchange; }
    const Exchange &exchange() const { return m_exchange; }
    PortControl &ports() { return m_ports; }
    const PortControl &ports() const { return m_ports; }
    IntervalTimer &timer1() { return *m_timer1; }
    IntervalTimer &timer2() { return *m_timer2; }
    IntervalTimer &timer3() { return *m_timer3; }
    IntervalTimer &timer4() { return *m_timer4; }

Q_SIGNALS:
    // The height, Command34's caption or its visibility changed.
    void layoutChanged();

private:
    void stopRepeating();

    SerialLink &m_link;
    std::unique_ptr<IntervalTimer> m_timer1, m_timer2, m_timer3, m_timer4;
    Exchange m_exchange;
    PortControl m_ports;

    quint8 m_repeatCode = 0;
    quint8 m_cursorMode = 0;
    int m_height = NormalHeight;
    QString m_command34Caption;
    bool m_command34Visible = false;
};

// Captions of the data-area toggle.
inline const QString ShowDataCaption = QStringLiteral("データを表示する");
inline const QString HideDataCaption = QStringLiteral("データを表示しない");
inline const QString CloseCaption = QStringLiteral("CLOSE");
