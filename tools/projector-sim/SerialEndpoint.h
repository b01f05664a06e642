// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <sys/types.h>

namespace sim {

// The simulator's end of the line: the master of a pseudo-terminal, or a real serial port.
class SerialEndpoint
{
public:
    // A new pseudo-terminal in raw mode. The simulator keeps its slave open too, so the panel
    // may open and close its own end as often as it likes without the master hanging up.
    // With a group, the panel's end is that group's, mode 0660, for a user of that group.
    static std::unique_ptr<SerialEndpoint> openPseudoTerminal(int baud, std::string &error,
                                                              std::optional<gid_t> group = {});
    static std::unique_ptr<SerialEndpoint> openDevice(const std::string &path, int baud,
                                                      std::string &error);

    ~SerialEndpoint();
    SerialEndpoint(const SerialEndpoint &) = delete;
    SerialEndpoint &operator=(const SerialEndpoint &) = delete;

    int fd() const { return m_fd; }                    // non-blocking, read and write
    const std::string &path() const { return m_path; } // what the panel opens
    bool isPseudoTerminal() const { return m_keepAlive >= 0; }

    // The device goes away: for a pseudo-terminal the panel's end is hung up.
    void close();

private:
    SerialEndpoint() = default;
    int m_fd = -1;
    int m_keepAlive = -1;
    std::string m_path;
};

} // namespace sim
