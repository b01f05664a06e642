// SPDX-License-Identifier: MIT
#pragma once

#include "QtSerialLink.h"

#include <QHash>

// The real link with a tally of what passed through it, so a test can compare what the panel
// wrote with what the device logged. Everything else is handed straight to the real link.
class CountingLink final : public SerialLink
{
public:
    explicit CountingLink(QtSerialLink &real) : m_real(real)
    {
        m_real.setEventHandler([this](Event e) { notify(e); });
        m_real.setLostHandler([this](const QString &d) { notifyLost(d); });
    }

    bool isOpen() const override { return m_real.isOpen(); }
    bool open() override { return m_real.open(); }
    void close() override { m_real.close(); }
    bool setPortNumber(int port) override { return m_real.setPortNumber(port); }
    int portNumber() const override { return m_real.portNumber(); }
    bool applySettings(const QString &s) override { return m_real.applySettings(s); }
    bool write(const QByteArray &bytes) override
    {
        const bool ok = m_real.write(bytes);
        if (ok)
            ++written[bytes];
        else
            ++failedWrites;
        return ok;
    }
    QByteArray readAll() override
    {
        const QByteArray bytes = m_real.readAll();
        bytesRead += bytes.size();
        ++reads;
        return bytes;
    }
    QString errorString() const override { return m_real.errorString(); }
    QString deviceName() const override { return m_real.deviceName(); }

    int writes() const
    {
        int n = 0;
        for (int count : written)
            n += count;
        return n;
    }

    QHash<QByteArray, int> written; // successful writes by content
    int failedWrites = 0;
    qint64 bytesRead = 0;
    qint64 reads = 0;

private:
    QtSerialLink &m_real;
};
