// The program-memory view of the largest device (KVX-43, 6144 words): opening it, rebuilding it
// after a fill, and one word edited through "Enter new value" until the checksum label shows the
// new sum. Each is timed to the grid painted, over several rounds; the medians are compared with
// the targets (100 ms, 100 ms, 20 ms). Runs offscreen unless a display is asked for.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/device/catalogue.h"
#include "core/device/workspace.h"
#include "core/device/workspace_ops.h"
#include "core/editors/buffer_edit.h"
#include "gui/editors/buffer_views.h"
#include "gui/editors/editor_commands.h"
#include "gui/common/prompter.h"
#include "gui/editors/word_entry_dialog.h"

using namespace kvx::gui;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 15;

double Millis(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

// Lays out and paints what is pending, as the screen would show it.
void Settle(QWidget* window) {
  QApplication::processEvents();
  window->repaint();
}

void Report(const char* what, const std::vector<double>& samples, double target) {
  const double median = Median(samples);
  std::printf("%-34s %8.2f ms (median of %d; target %.0f ms) %s\n", what, median, kRounds, target,
              median <= target ? "ok" : "OVER");
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  auto ws = std::make_unique<kvx::Workspace>();
  ws->device.SelectedDevice = "KVX-43";
  kvx::ResetData(*ws);
  QMdiArea area;
  area.resize(1280, 900);
  area.show();
  QLabel checksum;  // the panel's "Checksum:" line
  kvx::gui::EditorHooks hooks;
  hooks.panelChanged = [&] { checksum.setText(QString::fromStdString(ws->panel.ChecksumText)); };
  kvx::gui::EditorCommands commands(*ws, &area, &area, hooks, kvx::gui::DefaultPrompter());
  kvx::gui::BufferWindows& windows = commands.Windows();

  std::vector<double> open, rebuild, edit;
  for (int round = 0; round < kRounds; ++round) {
    windows.Flags().BufferViewOpen = false;  // the view goes, so each round opens a new one
    windows.Sync();
    QApplication::processEvents();

    auto start = Clock::now();
    windows.RecreateProgramView(true);
    Settle(&area);
    open.push_back(Millis(start));

    kvx::FillBuffer(*ws, {"0", "17FF", round % 2 == 0 ? "1234" : "3FFF"});
    start = Clock::now();
    windows.RecreateProgramView(false);
    Settle(&area);
    rebuild.push_back(Millis(start));

    kvx::gui::ProgramMemoryView* view = windows.ProgramView();
    auto* dialog = view->onEditWord(view->grid->model()->index(round, 3));
    dialog->valueEdit->setText(round % 2 == 0 ? "0155" : "2AAA");
    start = Clock::now();
    dialog->onOk();
    checksum.repaint();
    view->grid->viewport()->repaint();
    edit.push_back(Millis(start));
    QApplication::processEvents();

    if (view->grid->model()->rowCount() != 768) {
      std::fprintf(stderr, "editors_bench: the grid does not cover 6144 words\n");
      return 1;
    }
  }
  std::printf("Program-memory view of KVX-43 (6144 words)\n");
  Report("open the view:", open, 100);
  Report("rebuild after Fill Buffer:", rebuild, 100);
  Report("single-word edit to the checksum:", edit, 20);
  return 0;
}
