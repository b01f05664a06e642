// SPDX-License-Identifier: MIT
#include "QtSerialLink.h"

#include <QFileInfo>

QtSerialLink::QtSerialLink(const QString &device1, const QString &device2, QObject *parent)
    : QObject(parent), m_devices{device1, device2}
{
    connect(&m_port, &QSerialPort::readyRead, this, [this] { notify(Event::Received); });
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialLink::onError);
}

QString QtSerialLink::defaultDevice(int port)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(port);
#else
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
#endif
}

QString QtSerialLink::device(int port) const
{
    return (port == 1 || port == 2) ? m_devices[port - 1] : QString();
}

QString QtSerialLink::deviceName() const
{
    return device(m_portNumber);
}

QString QtSerialLink::portLabel() const
{
    return QStringLiteral("port %1 (%2)").arg(m_portNumber).arg(deviceName());
}

bool QtSerialLink::isOpen() const
{
    return m_port.isOpen();
}

bool QtSerialLink::open()
{
    if (m_port.isOpen()) return true;
    m_port.setPortName(deviceName());
    applyTo(m_settings);
    if (m_port.open(QIODevice::ReadWrite)) {
        m_lostPending = false;
        return true;
    }
    m_error = describeOpenFailure(portLabel(), deviceName(), m_port.error(), m_port.errorString());
    m_port.clearError();
    return false;
}

void QtSerialLink::close()
{
    if (m_port.isOpen()) m_port.close();
}

bool QtSerialLink::setPortNumber(int port)
{
    if (port != 1 && port != 2) {
        m_error = QStringLiteral("There is no serial port %1; the panel knows ports 1 and 2.")
                      .arg(port);
        return false;
    }
    if (m_port.isOpen()) {
        m_error = QStringLiteral("The port number cannot change while %1 is open.").arg(portLabel());
        return false;
    }
    m_portNumber = port;
    return true;
}

bool QtSerialLink::applySettings(const QString &settings)
{
    const auto parsed = LineSettings::parse(settings);
    if (!parsed) {
        m_error = QStringLiteral("\"%1\" is not a line setting such as \"19200,N,8,1\".").arg(settings);
        return false;
    }
    m_settings = *parsed;
    applyTo(m_settings);
    return true;
}

void QtSerialLink::applyTo(const LineSettings &s)
{
    // On an open port QSerialPort applies each of these at once, without reopening.
    m_port.setBaudRate(s.baud);
    m_port.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    m_port.setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    switch (s.parity) {
    case 'E': m_port.setParity(QSerialPort::EvenParity); break;
    case 'O': m_port.setParity(QSerialPort::OddParity); break;
    case 'M': m_port.setParity(QSerialPort::MarkParity); break;
    case 'S': m_port.setParity(QSerialPort::SpaceParity); break;
    default: m_port.setParity(QSerialPort::NoParity); break;
    }
    m_port.setFlowControl(QSerialPort::NoFlowControl);
}

bool QtSerialLink::write(const QByteArray &bytes)
{
    if (!m_port.isOpen()) {
        m_error = QStringLiteral("Cannot send to serial %1: the port is not open. "
                                 "Choose a port with the COM button.")
                      .arg(portLabel());
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) {
        m_error = QStringLiteral("Cannot send to serial %1: %2").arg(portLabel(), m_port.errorString());
        m_port.clearError();
        return false;
    }
    // QSerialPort only queues the bytes for the next turn of the event loop; flushing hands them
    // to the device now. A full output queue (EAGAIN) keeps them buffered, which is no failure.
    m_port.flush();
    return true;
}

QByteArray QtSerialLink::readAll()
{
    return m_port.readAll();
}

void QtSerialLink::onError(QSerialPort::SerialPortError error)
{
    const bool lost = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!lost || !m_port.isOpen() || m_lostPending) return;
    // The port keeps reporting the error in a tight loop until it is closed, but closing from
    // inside its own signal is unsafe; close on the next turn and ignore the repeats meanwhile.
    m_lostPending = true;
    const QString description =
        QStringLiteral("The device of serial %1 has gone away (%2). The port is closed; "
                       "reconnect it and choose the port again with the COM button.")
            .arg(portLabel(), m_port.errorString());
    QMetaObject::invokeMethod(
        this,
        [this, description] {
            if (!m_lostPending) return;
            m_lostPending = false;
            m_port.close();
            m_port.clearError();
            notifyLost(description);
        },
        Qt::QueuedConnection);
}

QString describeOpenFailure(const QString &label, const QString &device,
                            QSerialPort::SerialPortError error, const QString &systemText)
{
    const QFileInfo info(device);
    if (error == QSerialPort::DeviceNotFoundError || (!device.isEmpty() && !info.exists()))
        return QStringLiteral("Cannot open serial %1: the device does not exist.").arg(label);
    if (error == QSerialPort::PermissionError || error == QSerialPort::OpenError) {
        if (info.exists() && (!info.isReadable() || !info.isWritable()))
            return QStringLiteral("Cannot open serial %1: no permission to use %2. "
                                  "Add your user to the \"dialout\" group and log in again.")
                .arg(label, device);
        return QStringLiteral("Cannot open serial %1: the port is in use by another program.")
            .arg(label);
    }
    return QStringLiteral("Cannot open serial %1: %2").arg(label, systemText);
}
