#include "gui/app/about_and_counter.h"

#include <string>
#include <vector>

#include "core/device/pass_count.h"
#include "core/link/writer_link.h"
#include "gui/app/about_box.h"
#include "gui/app/counter_dialog.h"
#include <QMainWindow>
#include "core/device/workspace.h"
#include "gui/app/sim_bench.h"
#include "gui/app/port_controls.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

AboutAndCounter::AboutAndCounter(const WindowParts& parts, QObject* parent) : QObject(parent), parts_(parts) {}

void AboutAndCounter::onAbout() {
  if (!parts_.host.CommandAllowed()) return;
  auto openBox = [this](const std::vector<std::string>&) {
    auto* box = new AboutBox(Q(parts_.ws.results.WriterId), &parts_.window);
    connect(box, &QDialog::finished, box, &QObject::deleteLater);
    box->open();
  };
  if (parts_.ws.results.PortError) {
    openBox({});
    return;
  }
  // A fresh look at the Writer's identification, as the box shows it; the Writer may take up to
  // the link's time-out, so off the GUI thread, and a close of the window cuts the wait short.
  parts_.host.port().StartCheck(
      [this](std::stop_token stop) {
        parts_.ws.results.WriterId.clear();
        kvx::WriterLink link(parts_.ws, parts_.ports.Port(), parts_.clock, stop);
        link.CheckWriter(true);
        return std::vector<std::string>{};
      },
      openBox);
}

void AboutAndCounter::onSetCounter() {
  if (!parts_.host.CommandAllowed()) return;
  auto* dialog = new CounterDialog(Q(kvx::PassCountText(parts_.ws)), &parts_.window);
  connect(dialog, &QDialog::accepted, this, [this, dialog] {
    if (!parts_.host.Busy()) kvx::SetPassCount(parts_.ws, dialog->Text().toStdString());
    parts_.host.RefreshPanelNow();
  });
  connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
  dialog->open();
}

}  // namespace kvx::gui
