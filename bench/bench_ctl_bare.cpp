// SPDX-License-Identifier: MIT
// The baseline for projector-ctl: a Qt Core program that opens the serial device and exits.
#include <QCoreApplication>
#include <QSerialPort>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) return 2;
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    if (!port.open(QIODevice::ReadWrite)) return 1;
    port.close();
    return 0;
}
