// SPDX-License-Identifier: MIT
#include "Panel.h"

namespace {
std::unique_ptr<IntervalTimer> makeWithInterval(const TimerFactory &make, milliseconds interval)
{
    auto timer = make();
    timer->setInterval(interval);
    return timer;
}
} // namespace

Panel::Panel(SerialLink &link, const TimerFactory &makeTimer)
    : m_link(link),
      m_timer1(makeWithInterval(makeTimer, milliseconds(200))),
      m_timer2(makeWithInterval(makeTimer, NormalReplyWindow)),
      m_timer3(makeWithInterval(makeTimer, milliseconds(5000))),
      m_timer4(makeWithInterval(makeTimer, NormalDisplayClear)),
      m_exchange(link, *m_timer2, *m_timer4),
      m_ports(link, *m_timer3),
      m_command34Caption(ShowDataCaption)
{
    m_timer1->setHandler([this] { repeatTick(); });
    m_timer2->setHandler([this] { m_exchange.replyWindowTick(); });
    m_timer3->setHandler([this] { m_ports.panelTimerTick(); });
    m_timer4->setHandler([this] { m_exchange.displayClearTick(); });
    m_link.setEventHandler([this](SerialLink::Event e) { m_exchange.onComm(e); });
}

bool Panel::load()
{
    m_repeatCode = 0;
    m_exchange.setReplyPending(0);
    m_exchange.clearReplyText();
    if (!m_ports.openAtStart()) return false;
    m_ports.selectAtStart();
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
    if ((modifierMask & 7) != 2 || keyCode != 72) return;
    m_height = FullHeight;
    m_command34Caption = CloseCaption;
    m_command34Visible = true;
    layoutChanged();
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
    layoutChanged();
    m_timer3->start();
}

void Panel::layoutChanged()
{
    if (m_layoutChanged) m_layoutChanged();
}
