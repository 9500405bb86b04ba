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
  WatchFolders();
}

// The by-id folder comes and goes with the first and last USB serial device.
void PortChooser::WatchFolders() {
  for (const QString& folder : {QString::fromStdString(devRoot_),
                                QString::fromStdString(devRoot_ + "/serial/by-id")}) {
    if (QFileInfo(folder).isDir() && !watcher_->directories().contains(folder))
      watcher_->addPath(folder);
  }
}

}  // namespace kvx::gui
