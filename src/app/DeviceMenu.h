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
// from the serial ports found or typed. The options keep their captions and tell the device in
// their tips; the port in use is opened again on its new device, and a choice is kept for later
// runs once it has opened.
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
    void syncTips();
    void onOpened();

    QWidget &m_form;
    Panel &m_panel;
    DeviceLink &m_link;
    DeviceMemory &m_memory;
    PortLister m_ports;
    QRadioButton *m_options[2];
    QString m_chosen[2]; // chosen in the menu, not yet opened
};
