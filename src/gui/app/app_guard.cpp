#include "gui/app/app_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QSocketNotifier>
#include <QStandardPaths>

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnTerminationSignal(int signal) {
  const int saved = errno;
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the file releases the lock
}

QString InstanceLock::LockPath() {
  QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (dir.isEmpty()) dir = QDir::tempPath();
  QDir().mkpath(dir);
  return dir + QString("/kvxwriter-RunOnlyOneInstance-%1.lock").arg(::getuid());
}

bool InstanceLock::Acquire() {
  const QByteArray path = QFile::encodeName(LockPath());
  fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return false;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  ::close(fd_);
  fd_ = -1;
  return false;
}

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
  if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &SignalBridge::ReadPipe);
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &action, nullptr);
}

SignalBridge::~SignalBridge() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  for (int s : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(s, &action, nullptr);
  for (int& fd : signalPipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void SignalBridge::ReadPipe() {
  unsigned char byte = 0;
  while (::read(signalPipe[0], &byte, 1) == 1) Q_EMIT received(byte);
}
