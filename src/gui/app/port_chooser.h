// The port chooser's list: Com1 .. Com8 and every USB serial device plugged in, by its stable
// by-id name where it has one. The list follows plugging and unplugging while the window is open;
// the operator's choice stays selected, and listed while its device is away.
#pragma once

#include <QObject>
#include <string>

#include "core/link/port_select.h"

class QComboBox;
class QFileSystemWatcher;

namespace kvx::gui {

class PortChooser : public QObject {
  Q_OBJECT
 public:
  // `env` looks up KVXW_COMn and KVXW_DEV_ROOT (a folder standing in for /dev).
  PortChooser(QComboBox* box, kvx::EnvLookup env, QObject* parent);

  // Lists the ports present now, keeping the current choice; signals no change of choice.
  void Refresh();
  // Selects `name` without signalling a change, listing it when it is not there.
  void Show(const std::string& name);

 private:
  void Fill(const QString& keep);
  bool WatchFolders();

  QComboBox* box_;
  kvx::EnvLookup env_;
  std::string devRoot_;
  std::string sysRoot_;  // /sys, or KVXW_SYS_ROOT
  QFileSystemWatcher* watcher_;
};

}  // namespace kvx::gui
