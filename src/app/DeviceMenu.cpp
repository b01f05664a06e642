// SPDX-License-Identifier: MIT
#include "DeviceMenu.h"

#include "DeviceLink.h"
#include "DeviceMemory.h"
#include "Panel.h"

#include <QInputDialog>
#include <QMenu>
#include <QRadioButton>

#include <utility>

DeviceMenu::DeviceMenu(QWidget &form, Panel &panel, DeviceLink &link, DeviceMemory &memory,
                       PortLister ports)
    : QObject(&form), m_form(form), m_panel(panel), m_link(link), m_memory(memory),
      m_ports(std::move(ports))
{
    for (int port : {1, 2}) {
        auto *option = form.findChild<QRadioButton *>(QStringLiteral("Option%1").arg(port));
        Q_ASSERT(option);
        m_options[port - 1] = option;
        option->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(option, &QWidget::customContextMenuRequested, this,
                [this, port](const QPoint &at) { popUp(port, at); });
    }
    // Whoever changed a device (this menu, or the chooser at start), an open tells of it.
    connect(&m_link, &SerialLink::opened, this, &DeviceMenu::onOpened);
    // Whether the line is shared comes and goes with it.
    connect(&m_link, &SerialLink::closed, this, &DeviceMenu::syncTips);
    connect(&m_link, &SerialLink::lost, this, &DeviceMenu::syncTips);
    connect(&m_link, &SerialLink::restored, this, &DeviceMenu::syncTips);
    syncTips();
}

void DeviceMenu::choose(int port, const QString &device)
{
    const QString name = device.trimmed();
    if ((port != 1 && port != 2) || name.isEmpty()) return;
    m_chosen[port - 1] = name;
    if (m_panel.ports().selectedPort() != port) {
        m_link.setDevice(port, name);
    } else {
        // The port in use: closed on the old device, opened on the new one as if chosen again,
        // with the same warning when it cannot be opened.
        m_link.close();
        m_link.setDevice(port, name);
        m_panel.ports().selectPort(port);
    }
    syncTips();
}

// Remembered only once it has opened, as the chooser at start does: a wrong guess must not
// replace a good device for later runs.
void DeviceMenu::onOpened()
{
    const int port = m_link.portNumber();
    if ((port == 1 || port == 2) && !m_chosen[port - 1].isEmpty() &&
        m_chosen[port - 1] == m_link.device(port))
        m_memory.remember(port, std::exchange(m_chosen[port - 1], QString()));
    syncTips();
}

void DeviceMenu::popUp(int port, const QPoint &at)
{
    auto *menu = new QMenu(&m_form);
    menu->setObjectName(QStringLiteral("deviceMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString current = m_link.device(port);
    menu->addAction(tr("Serial port %1 is %2").arg(port).arg(current))->setEnabled(false);
    menu->addSeparator();
    const QList<FoundPort> found = m_ports ? m_ports() : QList<FoundPort>();
    for (const FoundPort &p : found) {
        const QString text =
            p.description.isEmpty()
                ? p.device
                : tr("%1 (%2)", "device (description)").arg(p.device, p.description);
        QAction *action = menu->addAction(text);
        action->setData(p.device);
        action->setCheckable(true);
        action->setChecked(p.device == current);
        connect(action, &QAction::triggered, this,
                [this, port, device = p.device] { choose(port, device); });
    }
    if (found.isEmpty()) menu->addAction(tr("No serial ports found"))->setEnabled(false);
    menu->addSeparator();
    QAction *other = menu->addAction(tr("Other…"));
    other->setObjectName(QStringLiteral("other"));
    connect(other, &QAction::triggered, this, [this, port] { askForOther(port); });
    menu->popup(m_options[port - 1]->mapToGlobal(at));
}

void DeviceMenu::askForOther(int port)
{
    bool ok = false;
    const QString device = QInputDialog::getText(
        &m_form, tr("Device for serial port %1").arg(port),
        tr("A device such as /dev/ttyUSB0, rfc2217://host:port or service:NAME:"),
        QLineEdit::Normal, m_link.device(port), &ok);
    if (ok) choose(port, device);
}

void DeviceMenu::syncTips()
{
    // The captions stay COM1 and COM2; the tip tells what they stand for and where to change it,
    // and that other programs send on the line too, when they do.
    for (int port : {1, 2}) {
        QString tip = tr("Switches to serial port %1, now %2. Right-click to choose its device.")
                          .arg(port)
                          .arg(m_link.device(port));
        if (port == m_link.portNumber() && m_link.isShared())
            tip += u'\n' + tr("Shared with other programs through projectord.");
        m_options[port - 1]->setToolTip(tip);
    }
}
