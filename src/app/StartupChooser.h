// SPDX-License-Identifier: MIT
#pragma once

#include "PortList.h"

#include <QDialog>

#include <functional>

class DeviceLink;
class DeviceMemory;
class Panel;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// The box shown when port 1 cannot be opened at start: why, the serial ports found, a device
// typed by hand ("Other…"), or Quit. Quit is the default button, so Enter and Escape end the
// program as the plain failure box did.
class StartupChooser final : public QDialog
{
    Q_OBJECT
public:
    explicit StartupChooser(PortLister ports, QWidget *parent = nullptr);

    void setFailure(const QString &text);
    // The device to try; empty until one is chosen or typed.
    QString device() const;

    // Asks until port 1 opens on the chosen device, which is then kept for later runs
    // (done(true)), or the operator quits (done(false); the link's failure() is the last one).
    // Returns at once: the box and a device still connecting are answered from the event loop.
    static void openPortOne(Panel &panel, DeviceLink &link, DeviceMemory &memory,
                            const PortLister &ports, const QString &title,
                            std::function<void(bool opened)> done);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fill();
    void sync();

    PortLister m_ports;
    QLabel *m_failure;
    QTreeWidget *m_list;
    QLineEdit *m_other;
    QPushButton *m_open;
    QPushButton *m_quit;
};
