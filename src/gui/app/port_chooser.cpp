#include "gui/app/port_chooser.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSignalBlocker>
#include <cstdlib>

#include "core/link/port_facts.h"
#include "core/link/port_list.h"

namespace kvx::gui {

PortChooser::PortChooser(QComboBox* box, kvx::EnvLookup env, QObject* parent)
    : QObject(parent), box_(box), env_(std::move(env)), watcher_(new QFileSystemWatcher(this)) {
  const char* root = env_ ? env_("KVXW_DEV_ROOT") : std::getenv("KVXW_DEV_ROOT");
  devRoot_ = root != nullptr && *root != '\0' ? root : "/dev";
  const char* sys = env_ ? env_("KVXW_SYS_ROOT") : std::getenv("KVXW_SYS_ROOT");
  sysRoot_ = sys != nullptr && *sys != '\0' ? sys : "/sys";
  // A by-id name can be long: the chooser stays narrow and its list shows the whole name.
  box_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  box_->setMinimumContentsLength(8);
  connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { Refresh(); });
  Fill(QString());
}

void PortChooser::Refresh() { Fill(box_->currentText()); }

void PortChooser::Show(const std::string& name) { Fill(QString::fromStdString(name)); }

void PortChooser::Fill(const QString& keep) {
  const QSignalBlocker quiet(box_);
  // A folder watched only now may have had a device linked into it before its watch began: the
  // list is read again until every folder there is has its watch.
  do {
    box_->clear();
    for (const kvx::PortChoice& port : kvx::ListPorts(devRoot_, env_)) {
      box_->addItem(QString::fromStdString(port.name));
      // Where the name leads, and how long the device there holds each of the Writer's answers.
      const std::string tip = port.device + "\n" + kvx::DescribePortDevice(port.device, sysRoot_);
      box_->setItemData(box_->count() - 1, QString::fromStdString(tip), Qt::ToolTipRole);
    }
    if (!keep.isEmpty() && box_->findText(keep) < 0) box_->addItem(keep);
    box_->setCurrentIndex(keep.isEmpty() ? 0 : box_->findText(keep));
    box_->setToolTip(box_->currentText());
  } while (WatchFolders());
}

// The by-id folder comes and goes with the first and last USB serial device, and its parent
// /dev/serial may come only a moment before it: each folder on the way is watched as soon as it
// is there, so the by-id folder's arrival is seen too. True when a watch was added.
bool PortChooser::WatchFolders() {
  bool added = false;
  for (const std::string& folder : {devRoot_, devRoot_ + "/serial", devRoot_ + "/serial/by-id"}) {
    const QString path = QString::fromStdString(folder);
    if (QFileInfo(path).isDir() && !watcher_->directories().contains(path))
      added = watcher_->addPath(path) || added;
  }
  return added;
}

}  // namespace kvx::gui
