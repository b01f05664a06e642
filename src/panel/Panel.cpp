// SPDX-License-Identifier: MIT
#include "Panel.h"

#include "KeyMap.h"

#include <algorithm>

namespace {
std::unique_ptr<IntervalTimer> makeWithInterval(const TimerFactory &make, milliseconds interval)
{
    auto timer = make();
    timer->setInterval(interval);
    return timer;
}
} // namespace

Panel::Panel(SerialLink &link, const TimerFactory &makeTimer, QObject *parent)
    : QObject(parent), m_link(link), m_timer1(makeWithInterval(makeTimer, InitialRepeatPeriod)),
      m_timer2(makeWithInterval(makeTimer, NormalReplyWindow)), m_timer3(makeTimer()),
      m_timer4(makeWithInterval(makeTimer, NormalDisplayClear)),
      m_exchange(link, *m_timer2, *m_timer4), m_ports(link, *m_timer3),
      m_command34Caption(ShowDataCaption)
{
    connect(m_timer1.get(), &IntervalTimer::timeout, this, &Panel::repeatTick);
    m_exchange.setFramesSharedLines(true);
}

// The exchange and the port control refer to the timers, so they must not outlive them.
Panel::~Panel() = default;

bool Panel::load()
{
    m_repeatCode = 0;
    m_exchange.setReplyPending(0);
    m_exchange.clearReplyText();
    if (!m_ports.openAtStart()) return false;
    // A port 1 still connecting is selected once it has opened.
    if (!m_ports.isStarting()) m_ports.selectAtStart();
    return true;
}

void Panel::click(const OneShotButton &button)
{
    if (!m_exchange.transmit(QLatin1StringView(button.code))) return;
    if (button.mode) {
        m_timer1->setInterval(button.mode->repeatPeriod);
        m_cursorMode = button.mode->cursorMode;
    }
}

void Panel::press(const HoldButton &button)
{
    if (button.timing) {
        m_repeatCode = button.repeatCode;
        if (!m_exchange.transmit(QLatin1StringView(button.code))) return stopRepeating();
        m_timer1->setInterval(button.timing->repeatPeriod);
        m_timer2->setInterval(button.timing->replyWindow);
        m_timer4->setInterval(button.timing->displayClear);
    } else {
        if (const auto &t = ArrowTimingByMode.at(m_cursorMode)) {
            m_timer2->setInterval(t->replyWindow);
            m_timer4->setInterval(t->displayClear);
        }
        m_repeatCode = button.repeatCode;
        if (!m_exchange.transmit(QLatin1StringView(button.code))) return stopRepeating();
    }
    m_timer1->start();
}

void Panel::release(const HoldButton &button)
{
    m_repeatCode = 0;
    m_timer1->stop();
    m_timer2->stop();
    m_timer4->start();
    m_exchange.blankTraces();
    m_timer2->setInterval(NormalReplyWindow);
    m_timer4->setInterval(NormalDisplayClear);
    m_exchange.clearReplyText();
    if (button.digitalZoom) {
        m_timer1->setInterval(DigitalZoomPeriod);
        m_cursorMode = DigitalZoomMode;
    }
}

void Panel::repeatTick()
{
    // A reply window or display clear due at this same moment was started before this tick's
    // countdown; it runs first, whichever tick the event loop delivers first.
    if (m_timer2->isDue()) m_exchange.replyWindowTick();
    if (m_timer4->isDue()) m_exchange.displayClearTick();
    const char *code = repeatCodeText(m_repeatCode);
    if (!code) return;
    // Built from the table every time, never from the last CommandText.
    if (!m_exchange.transmit(QLatin1StringView(code))) return stopRepeating();
    m_timer1->start();
}

// A failed write ends the repetition, so a device gone mid-hold is reported once, not at
// every tick.
void Panel::stopRepeating()
{
    m_repeatCode = 0;
    m_timer1->stop();
}

void Panel::keyDown(int keyCode, int modifierMask)
{
    if ((modifierMask & KeyMap::ModifierBits) != KeyMap::CtrlMask || keyCode != KeyMap::KeyH)
        return;
    m_height = FullHeight;
    m_command34Caption = CloseCaption;
    m_command34Visible = true;
    Q_EMIT layoutChanged();
}

void Panel::toggleDataArea()
{
    m_timer3->stop();
    if (countsAsOpen(m_height)) {
        m_height = NormalHeight;
        m_command34Caption = ShowDataCaption;
    } else {
        m_height = ToggleHeight;
        m_command34Caption = HideDataCaption;
    }
    Q_EMIT layoutChanged();
    m_timer3->start();
}

namespace {
template <typename Rows> auto findRow(const Rows &rows, QLatin1StringView name)
{
    return std::find_if(rows.begin(), rows.end(),
                        [&](const auto &row) { return name == QLatin1StringView(row.name); });
}
} // namespace

bool Panel::activate(QLatin1StringView name)
{
    if (const auto b = findRow(OneShotButtons, name); b != OneShotButtons.end()) {
        click(*b);
        return true;
    }
    if (const auto a = findRow(ActionButtons, name); a != ActionButtons.end()) {
        switch (a->action) {
        case PanelAction::ShowSettings: m_ports.showSettings(); break;
        case PanelAction::End: m_ports.end(); break;
        case PanelAction::ToggleDataArea: toggleDataArea(); break;
        }
        return true;
    }
    if (const auto o = findRow(OptionChoices, name); o != OptionChoices.end()) {
        if (o->port)
            m_ports.selectPort(o->port);
        else
            m_ports.selectSpeed(QString::fromLatin1(o->settings));
        return true;
    }
    return findRow(HoldButtons, name) != HoldButtons.end();
}

bool Panel::press(QLatin1StringView name)
{
    const auto b = findRow(HoldButtons, name);
    if (b == HoldButtons.end()) return false;
    press(*b);
    return true;
}

bool Panel::release(QLatin1StringView name)
{
    const auto b = findRow(HoldButtons, name);
    if (b == HoldButtons.end()) return false;
    release(*b);
    return true;
}
