#include "tools/radio_sim/line.h"

#include <termios.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace vexo::sim {

namespace {

struct SpeedRate {
  speed_t speed;
  int rate;
};

constexpr std::array<SpeedRate, 22> kSpeeds = {{
    {B50, 50},         {B75, 75},           {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},         {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},       {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200},   {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
    {B921600, 921600}, {B1000000, 1000000},
}};

}  // namespace

int RateOfSpeed(unsigned speed) {
  for (const SpeedRate& s : kSpeeds) {
    if (s.speed == speed) return s.rate;
  }
  return 0;
}

unsigned SpeedOfRate(int rate) {
  for (const SpeedRate& s : kSpeeds) {
    if (s.rate == rate) return s.speed;
  }
  return B0;
}

bool MakeRaw(int fd, int rate, std::string& error) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) {
    error = std::string("cannot read the line settings: ") + std::strerror(errno);
    return false;
  }
  cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  speed_t speed = SpeedOfRate(rate);
  if (speed == B0 || cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) {
    error = "no such line rate: " + std::to_string(rate);
    return false;
  }
  // TCSADRAIN: what was already written leaves at the old rate.
  if (tcsetattr(fd, TCSADRAIN, &t) != 0) {
    error = std::string("cannot set the line: ") + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace vexo::sim
