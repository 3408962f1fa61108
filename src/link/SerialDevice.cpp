// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/SerialDevice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tw {
namespace {

struct BaudRow {
  int baud;
  speed_t speed;
};

constexpr BaudRow kBauds[] = {
    {1200, B1200},     {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},
    {38400, B38400},   {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800},
    {921600, B921600},
};

bool SpeedFor(int baud, speed_t* speed) {
  for (const auto& row : kBauds) {
    if (row.baud == baud) {
      *speed = row.speed;
      return true;
    }
  }
  return false;
}

tcflag_t DataBitsFlag(int bits) {
  switch (bits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

// Unix98 pseudo-terminal slaves have majors 136 to 143.
bool IsPseudoTerminal(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

}  // namespace

bool IsSupportedBaud(int baud) {
  speed_t unused;
  return SpeedFor(baud, &unused);
}

FdChannelPtr OpenSerialDevice(const std::string& path, const SerialSettings& settings, std::string* error) {
  speed_t speed;
  if (!SpeedFor(settings.baud, &speed)) {
    SetError(error, "unsupported speed " + std::to_string(settings.baud));
    return nullptr;
  }
  if (settings.dataBits < 5 || settings.dataBits > 8 || (settings.stopBits != 1 && settings.stopBits != 2) ||
      settings.parity < 0 || settings.parity > 2) {
    SetError(error, "unsupported line settings");
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    SetError(error, std::strerror(errno));
    return nullptr;
  }
  auto channel = FdChannel::Open(fd);
  if (!channel) {
    SetError(error, std::string("cannot wait on the port: ") + std::strerror(errno));
    return nullptr;
  }
  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    SetError(error, std::string("not a serial port: ") + std::strerror(errno));
    return nullptr;
  }
  ::cfmakeraw(&tio);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  tio.c_cflag |= CLOCAL | CREAD | DataBitsFlag(settings.dataBits);
  if (settings.parity != 0) tio.c_cflag |= PARENB | (settings.parity == 1 ? PARODD : 0);
  if (settings.stopBits == 2) tio.c_cflag |= CSTOPB;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (settings.flow == FlowControl::Hardware) {
    tio.c_cflag |= CRTSCTS;
  } else {
    tio.c_iflag |= IXON | IXOFF;
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
  }
  // A pseudo-terminal carries bytes, not a line: it has no parity, stop bits or handshake lines, and
  // some kernels refuse such settings on it.
  if (IsPseudoTerminal(fd)) tio.c_cflag &= ~(PARENB | PARODD | CSTOPB | CRTSCTS);
  // Reads return at once with what has arrived.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 || ::tcsetattr(fd, TCSANOW, &tio) != 0) {
    SetError(error, std::string("cannot configure the port: ") + std::strerror(errno));
    return nullptr;
  }
  ::tcflush(fd, TCIOFLUSH);
  return channel;
}

void PurgeSerialInput(const FdChannel& channel) { ::tcflush(channel.fd(), TCIFLUSH); }
void PurgeSerialOutput(const FdChannel& channel) { ::tcflush(channel.fd(), TCOFLUSH); }

}  // namespace tw
