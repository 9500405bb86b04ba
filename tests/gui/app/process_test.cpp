// The program itself, started as the operator starts it: one instance only, and a termination
// signal closes it as File > Exit does, writing Default.cfg.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "gui/qt_printers.h"

namespace kvx::gui::test {
namespace {

class Program : public ::testing::Test {
 protected:
  // `runtime`: the session's runtime folder; none when empty. `asUser`: the command that runs the
  // program as another user (setpriv and its options), or none.
  void Launch(QProcess& p, const QString& runtime = {}, QStringList asUser = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", temp_.path());
    if (runtime.isEmpty())
      env.remove("XDG_RUNTIME_DIR");
    else
      env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("KVXW_COM1", "sim");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(work_.path());
    if (asUser.isEmpty()) {
      p.start(KVXWRITER_PATH, {});
    } else {
      const QString program = asUser.takeFirst();
      p.start(program, asUser << KVXWRITER_PATH);
    }
    ASSERT_TRUE(p.waitForStarted(10000));
  }
  // The first instance holds the lock once its window is on the way.
  bool LockHeld() const {
    QDir dir(temp_.path());
    for (const QString& name : dir.entryList({"kvxwriter-*.lock"})) {
      const int fd = ::open(QFile::encodeName(dir.filePath(name)).constData(), O_RDWR);
      if (fd < 0) continue;
      const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
      ::close(fd);
      if (held) return true;
    }
    return false;
  }
  // Default.cfg is written at the very end, after the window is up: wait for its timer to run.
  bool Idle(QProcess& p) {
    return QTest::qWaitFor([&] { return LockHeld(); }, 20000) && p.state() == QProcess::Running;
  }

  QTemporaryDir temp_;  // the temporary folder of the user, whatever the session
  QTemporaryDir work_;
};

TEST_F(Program, ASecondInstanceOfTheUserIsRefusedWhateverItsSessionAndTheFirstCarriesOn) {
  // Two sessions of one user: their runtime folders differ, or one has none (su, ssh).
  QTemporaryDir session1, session2;
  QProcess first;
  Launch(first, session1.path());
  ASSERT_TRUE(Idle(first));
  QProcess second;
  Launch(second, session2.path());
  ASSERT_TRUE(second.waitForFinished(20000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_NE(second.exitCode(), 0);
  EXPECT_TRUE(second.readAllStandardError().contains("Process is running!"));
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_TRUE(LockHeld());
  QProcess third;
  Launch(third);
  ASSERT_TRUE(third.waitForFinished(20000));
  EXPECT_NE(third.exitCode(), 0);
  EXPECT_TRUE(third.readAllStandardError().contains("Process is running!"));
  first.terminate();  // SIGTERM
  ASSERT_TRUE(first.waitForFinished(20000));
}

TEST_F(Program, TerminationSignalsCloseTheWindowAndWriteDefaultCfg) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    QFile::remove(work_.filePath("Default.cfg"));
    QProcess p;
    Launch(p);
    ASSERT_TRUE(Idle(p));
    ASSERT_EQ(::kill(static_cast<pid_t>(p.processId()), sig), 0);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    QFile cfg(work_.filePath("Default.cfg"));
    ASSERT_TRUE(cfg.open(QIODevice::ReadOnly));
    EXPECT_TRUE(cfg.readAll().startsWith("kvx"));
    EXPECT_FALSE(LockHeld());  // a later start is welcome again
  }
}

TEST_F(Program, ASignalsCloseThatCannotWriteDefaultCfgSaysSoOnStandardErrorAndInTheStatus) {
  // A start folder the user may not write in (as an unprivileged user, when there is setpriv),
  // and a folder where Default.cfg should be.
  const bool otherUser = ::geteuid() == 0 && ::access("/usr/bin/setpriv", X_OK) == 0;
  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly);
    if (readOnly && !otherUser) continue;
    QStringList asUser;
    if (readOnly) {
      asUser = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
      ASSERT_EQ(::chmod(QFile::encodeName(temp_.path()).constData(), 0777), 0);
      ASSERT_EQ(::chmod(QFile::encodeName(work_.path()).constData(), 0555), 0);
    } else {
      ASSERT_TRUE(QDir(work_.path()).mkdir("Default.cfg"));  // nothing can be written over it
    }
    QProcess p;
    Launch(p, {}, asUser);
    ASSERT_TRUE(Idle(p));
    p.terminate();  // SIGTERM: nobody is there to click a box
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_TRUE(p.readAllStandardError().contains("Default.cfg' file can't be written!"));
    QDir(work_.filePath("Default.cfg")).removeRecursively();
  }
  ::chmod(QFile::encodeName(work_.path()).constData(), 0700);
}

}  // namespace
}  // namespace kvx::gui::test
