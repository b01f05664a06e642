// SPDX-License-Identifier: MIT
#pragma once

#include "DeviceLink.h"
#include "Probes.h"

#include <QHash>

// The real link with a tally of what passed through it, so a test can compare what the panel
// wrote, and when, with what the device logged. Everything else is handed straight to the real
// link.
class CountingLink final : public SerialLink
{
public:
    explicit CountingLink(DeviceLink &real) : m_real(real)
    {
        connect(&m_real, &SerialLink::received, this, &SerialLink::received);
        connect(&m_real, &SerialLink::lost, this, &SerialLink::lost);
    }

    bool isOpen() const override { return m_real.isOpen(); }
    bool open() override { return m_real.open() || fail(m_real.failure()); }
    void close() override { m_real.close(); }
    bool setPortNumber(int port) override
    {
        return m_real.setPortNumber(port) || fail(m_real.failure());
    }
    int portNumber() const override { return m_real.portNumber(); }
    bool applySettings(const LineSettings &s) override
    {
        return m_real.applySettings(s) || fail(m_real.failure());
    }
    bool write(const QByteArray &bytes) override
    {
        if (m_real.write(bytes)) {
            ++written[bytes];
            writtenAtUs << monotonicUs();
            return true;
        }
        ++failedWrites;
        return fail(m_real.failure());
    }
    QByteArray readAll() override
    {
        const QByteArray bytes = m_real.readAll();
        bytesRead += bytes.size();
        ++reads;
        return bytes;
    }
    QString deviceName() const override { return m_real.deviceName(); }

    int writes() const
    {
        int n = 0;
        for (int count : written) n += count;
        return n;
    }

    QHash<QByteArray, int> written; // successful writes by content
    QList<qint64> writtenAtUs;      // and when each was handed to the device
    int failedWrites = 0;
    qint64 bytesRead = 0;
    qint64 reads = 0;

private:
    DeviceLink &m_real;
};
