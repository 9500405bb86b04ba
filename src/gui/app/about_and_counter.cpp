#include "gui/app/about_and_counter.h"

#include <string>
#include <vector>

#include "core/device/pass_count.h"
#include "core/link/writer_link.h"
#include "gui/app/about_box.h"
#include "gui/app/counter_dialog.h"
#include "gui/app/main_window.h"
#include "gui/app/port_controls.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

AboutAndCounter::AboutAndCounter(MainWindow& window, QObject* parent) : QObject(parent), window_(window) {}

void AboutAndCounter::onAbout() {
  if (!window_.CommandAllowed()) return;
  auto openBox = [this](const std::vector<std::string>&) {
    auto* box = new AboutBox(Q(window_.workspace().results.WriterId), &window_);
    connect(box, &QDialog::finished, box, &QObject::deleteLater);
    box->open();
  };
  if (window_.workspace().results.PortError) {
    openBox({});
    return;
  }
  // A fresh look at the Writer's identification, as the box shows it; the Writer may take up to
  // the link's time-out, so off the GUI thread, and a close of the window cuts the wait short.
  window_.port().StartCheck(
      [this](std::stop_token stop) {
        window_.workspace().results.WriterId.clear();
        kvx::WriterLink link(window_.workspace(), window_.ports().Port(), window_.clock(), stop);
        link.CheckWriter(true);
        return std::vector<std::string>{};
      },
      openBox);
}

void AboutAndCounter::onSetCounter() {
  if (!window_.CommandAllowed()) return;
  auto* dialog = new CounterDialog(Q(window_.workspace().production.PassCountText), &window_);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    if (!window_.Busy()) kvx::SetPassCount(window_.workspace(), dialog->Text().toStdString());
    window_.RefreshPanelNow();
  });
  connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
  dialog->open();
}

}  // namespace kvx::gui
