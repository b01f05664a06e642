// SPDX-License-Identifier: MIT
#pragma once

#include "PortList.h"

#include <QObject>

class DeviceLink;
class DeviceMemory;
class Panel;
class QPoint;
class QRadioButton;
class QWidget;

// The context menu of the COM1 and COM2 options: which device each port stands for, chosen
// from the serial ports found or typed. The options keep their captions; the choice is kept
// for later runs, and the port in use is opened again on its new device.
class DeviceMenu final : public QObject
{
    Q_OBJECT
public:
    DeviceMenu(QWidget &form, Panel &panel, DeviceLink &link, DeviceMemory &memory,
               PortLister ports);

    void choose(int port, const QString &device);

private:
    void popUp(int port, const QPoint &at);
    void askForOther(int port);
    void syncTip(int port);

    QWidget &m_form;
    Panel &m_panel;
    DeviceLink &m_link;
    DeviceMemory &m_memory;
    PortLister m_ports;
    QRadioButton *m_options[2];
};
