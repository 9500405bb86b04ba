#include "gui/app/app_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QSocketNotifier>

namespace kvx::gui {

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
  // One file per user in the temporary folder, not in the session's runtime folder: another
  // login, su, ssh or a second X session of the same user finds the same lock.
  return QDir::tempPath() + QString("/kvxwriter-RunOnlyOneInstance-%1.lock").arg(::getuid());
}

bool InstanceLock::Acquire() {
  const QString lockPath = LockPath();
  const QByteArray path = QFile::encodeName(lockPath);
  // Never through a link, and only a file of our own: the folder is shared with other users.
  fd_ = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  struct stat st {};
  if (fd_ < 0) {
    problem_ = QString("'%1' can't be opened: %2").arg(lockPath, QString::fromLocal8Bit(std::strerror(errno)));
  } else if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
    problem_ = QString("'%1' is not a file of this user").arg(lockPath);
  } else if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
    return true;
  }
  if (fd_ >= 0) ::close(fd_);
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

}  // namespace kvx::gui
