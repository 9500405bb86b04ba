#include "gui/app/main_actions.h"

#include <QAction>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QToolBar>
#include <QToolButton>

#include "gui/app/about_and_counter.h"
#include "gui/app/about_box.h"
#include "gui/app/device_commands.h"
#include <QMainWindow>
#include "core/device/workspace.h"
#include "gui/app/sim_bench.h"
#include "gui/app/journal_window.h"
#include "core/production/journal_settings.h"
#include "gui/common/prompter.h"
#include "gui/app/status_panel.h"
#include "gui/editors/buffer_windows.h"
#include "gui/editors/editor_commands.h"

namespace kvx::gui {

namespace {

// Tile Horizontally (`stacked`): the windows one above the other, each the area's full width;
// Tile Vertically: side by side, each its full height. Minimised windows stay where they are.
void TileSubWindows(QMdiArea* area, bool stacked) {
  QList<QMdiSubWindow*> windows;
  for (QMdiSubWindow* w : area->subWindowList(QMdiArea::CreationOrder))
    if (w->isVisible() && !w->isMinimized()) windows << w;
  const QRect r = area->viewport()->rect();
  const int n = static_cast<int>(windows.size());
  for (int i = 0; i < n; ++i) {
    windows[i]->showNormal();
    if (stacked) {
      const int top = r.height() * i / n;
      windows[i]->setGeometry(0, top, r.width(), r.height() * (i + 1) / n - top);
    } else {
      const int left = r.width() * i / n;
      windows[i]->setGeometry(left, 0, r.width() * (i + 1) / n - left, r.height());
    }
  }
}

// A toolbar picture: the command's initials on a tinted square.
QIcon Badge(const QString& letters, QColor colour) {
  QPixmap pixmap(28, 28);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(colour);
  p.setPen(colour.darker(140));
  p.drawRoundedRect(QRectF(1, 1, 26, 26), 5, 5);
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(letters.size() > 2 ? 9 : 11);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(0, 0, 28, 28), Qt::AlignCenter, letters);
  return QIcon(pixmap);
}

// The desktop icon theme's picture for a command, the first of `names` (a space-separated list,
// freedesktop icon names) the theme has; the badge where none fits or the theme lacks them.
QIcon ToolIcon(const char* names, const QString& letters, QColor colour) {
  if (names != nullptr) {
    for (const QString& name : QString(names).split(' ', Qt::SkipEmptyParts))
      if (QIcon::hasThemeIcon(name)) return QIcon::fromTheme(name);
  }
  return Badge(letters, colour);
}

}  // namespace

MainActions::MainActions(const WindowParts& parts) : QObject(&parts.window), parts_(parts) {
  CreateMenus();
  CreateToolBar();
}

void MainActions::LockSingleStepCommands(bool locked) {
  for (QAction* a : {programIdAction_, programMemoryAction_, programOptionAction_}) a->setEnabled(!locked);
}

void MainActions::UpdateCommandStates() {
  kvx::Workspace& ws = parts_.ws;
  const bool flash = ws.device.IsFlash();
  for (QAction* a : {eraseAction_, writeEepromAction_, showEepromAction_, clearEepromAction_})
    a->setEnabled(flash);
  if (!flash) parts_.host.editors().Windows().Flags().EepromViewOpen = false;
  FollowListing();
}

void MainActions::FollowListing() {
  saveDisassemblyAction_->setEnabled(parts_.host.editors().Windows().Flags().DisassemblyOpen);
}

void MainActions::onShowJournal() {
  // The journal KvxWriter.ini names, as the production commands use it.
  auto* window =
      new JournalWindow(kvx::DesktopJournalName(parts_.ws.files.StartDir), parts_.prompter, &parts_.window);
  window->show();
}

QAction* MainActions::MakeAction(const char* name, const QString& text, const QString& hint,
                               const QKeySequence& shortcut) {
  auto* action = new QAction(text, &parts_.window);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  if (!hint.isEmpty()) {
    action->setToolTip(hint);
    action->setStatusTip(hint);
  }
  return action;
}

void MainActions::CreateMenus() {
  QMenuBar* bar = parts_.window.menuBar();
  bar->setObjectName("MainMenu1");
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("File1");
  openAction_ = MakeAction("FileOpen1", "&Open...", "Open");
  loadConfigAction_ = MakeAction("LoadConfig1", "Load Config File ", "Load Config File", Qt::CTRL | Qt::Key_L);
  saveConfigAction_ = MakeAction("FileSaveItem", "Save Config File", "Save ConFig File", Qt::CTRL | Qt::Key_S);
  saveDisassemblyAction_ = MakeAction("FileSaveAsItem", "Save Disassmble");
  saveProgramMemoryAction_ = MakeAction("SaveProgramMemory1", "Save Program Memory", "Save Program Memory");
  exitAction_ = MakeAction("FileExit1", "E&xit");
  file->addActions({openAction_, loadConfigAction_, saveConfigAction_, saveDisassemblyAction_, saveProgramMemoryAction_});
  file->addSeparator();
  file->addAction(exitAction_);

  QMenu* edit = bar->addMenu("&Edit");
  edit->setObjectName("Edit1");
  editOptionAction_ = MakeAction("EditOPTION", "OPTION", {}, Qt::Key_F4);
  serialSetupAction_ = MakeAction("SerialNoMode1", "Serial No. Mode");
  setCounterAction_ = MakeAction("CounterMode1", "Set Counter Value");
  loadQtpFileAction_ = MakeAction("LoadQTPFile1", "Load QTP File");
  clearOptionAction_ = MakeAction("ClearOPTION1", "Clear OPTION");
  clearIdAction_ = MakeAction("ClearID1", "Clear ID");
  clearBufferAction_ = MakeAction("ClearBuffer1", "Clear Buffer");
  fillBufferAction_ = MakeAction("FillBuffer1", "Fill Buffer", {}, Qt::CTRL | Qt::Key_F);
  clearEepromAction_ = MakeAction("ClearEEPROMBuffer1", "Clear EEPROM Buffer");
  edit->addActions({editOptionAction_, serialSetupAction_, setCounterAction_, loadQtpFileAction_});
  edit->addSeparator();
  edit->addActions({clearOptionAction_, clearIdAction_, clearBufferAction_, fillBufferAction_, clearEepromAction_});

  QMenu* view = bar->addMenu("&View");
  view->setObjectName("View1");
  showProgramMemoryAction_ = MakeAction("ProgramMemory1", "Program Memory");
  showIdAction_ = MakeAction("ID2", "ID");
  showDisassemblyAction_ = MakeAction("Disassemble1", "Disassemble");
  showEepromAction_ = MakeAction("EEPROM1", "EEPROM");
  view->addActions({showProgramMemoryAction_, showIdAction_, showDisassemblyAction_, showEepromAction_});
  view->addSeparator();
  showJournalAction_ = MakeAction("JournalAction", "Production &Journal...", "Production journal");
  view->addAction(showJournalAction_);

  QMenu* program = bar->addMenu("&Program");
  program->setObjectName("Program1");
  blankCheckAction_ = MakeAction("BlankCheckAction", "Blank Check", "Blank Check", Qt::Key_F5);
  readAction_ = MakeAction("ReadICAction", "Read", "Read", Qt::Key_F6);
  verifyAction_ = MakeAction("VerifyICAction", "Verify", "Verify", Qt::Key_F7);
  verifyWithProtectAction_ = MakeAction("VerifywithProtect1", "Verify with Protect", "Verify with protect");
  autoProgramAction_ = MakeAction("AutoProgramAction", "Auto Program", "Auto program", Qt::Key_F8);
  autoProgramNoBlankCheckAction_ =
      MakeAction("AutoProgramNoBlankCheckAction", "Auto Program without Blank Check",
                 "Auto program without blank check", Qt::Key_F9);
  programOptionAction_ = MakeAction("ProgramOption", "OPTION", "Program OPTION");
  programIdAction_ = MakeAction("ID3", "ID and Checksum", "Program ID & Checksum");
  programMemoryAction_ = MakeAction("ProgramMemory2", "Program Memory", "Program Memory");
  program->addActions({blankCheckAction_, readAction_, verifyAction_, verifyWithProtectAction_});
  program->addSeparator();
  program->addActions({autoProgramAction_, autoProgramNoBlankCheckAction_});
  productionAction_ = MakeAction("ProductionAction", "Production (several Writers)...",
                                 "Production: several Writers at once", Qt::CTRL | Qt::Key_P);
  program->addAction(productionAction_);
  program->addSeparator();
  program->addActions({programOptionAction_, programIdAction_, programMemoryAction_});
  eraseAction_ = MakeAction("EraseAction", "Erase", "Erase Flash memory");
  writeEepromAction_ = MakeAction("WriteEEAction", "Write EEPROM", "Write EEPROM");
  forceWriteAction_ = MakeAction("ForceWriteAction", "Force Write", "Force Write");

  QMenu* window = bar->addMenu("&Window");
  window->setObjectName("Window1");
  cascadeAction_ = MakeAction("WindowCascade1", "&Cascade", "Cascade");
  tileHorizontallyAction_ = MakeAction("WindowTileHorizontal1", "Tile &Horizontally", "Tile Horizontally");
  tileVerticallyAction_ = MakeAction("WindowTileVertical1", "&Tile Vertically", "Tile Vertically");
  minimizeAllAction_ = MakeAction("WindowMinimizeAll1", "&Minimize All", "Minimize All");
  arrangeAllAction_ = MakeAction("WindowArrangeAll1", "&Arrange All", "Arrange All");
  window->addActions({cascadeAction_, tileHorizontallyAction_, tileVerticallyAction_,
                      minimizeAllAction_, arrangeAllAction_});

  QMenu* download = bar->addMenu("DownLoad");
  download->setObjectName("DownLoad2");
  downloadAction_ = MakeAction("DownLoad1", "DownLoad");
  download->addAction(downloadAction_);

  QMenu* help = bar->addMenu("&Help");
  help->setObjectName("Help1");
  aboutAction_ = MakeAction("HelpAbout1", "&About...");
  versionInfoAction_ = MakeAction("VersionInfo1", "Version Info");
  help->addActions({aboutAction_, versionInfoAction_});
}

void MainActions::CreateToolBar() {
  QToolBar* bar = parts_.window.addToolBar("Commands");
  bar->setObjectName("ToolBar1");
  bar->setMovable(false);
  bar->setIconSize(QSize(28, 28));
  struct Button {
    QAction* action;
    const char* name;
    const char* letters;
    QColor colour;
    const char* theme = nullptr;  // icon names to try in the desktop theme
  };
  const QColor fileC(70, 110, 160), progC(40, 130, 70), autoC(180, 90, 20), winC(110, 110, 110);
  const Button buttons[] = {
      {openAction_, "ToolButton1", "OPN", fileC, "document-open"},
      {loadConfigAction_, "ToolButton2", "LC", fileC},
      {saveConfigAction_, "ToolButton3", "SC", fileC, "document-save"},
      {saveProgramMemoryAction_, "ToolButton4", "SPM", fileC, "document-save-as"},
      {nullptr, nullptr, nullptr, {}},
      {blankCheckAction_, "ToolButton6", "BC", progC, "edit-find"},
      {eraseAction_, "Erase", "ER", progC, "edit-clear"},
      {readAction_, "ToolButton7", "RD", progC, "document-import go-down"},
      {verifyAction_, "ToolButton17", "VF", progC, "emblem-default"},
      {verifyWithProtectAction_, "ToolButton18", "VP", progC, "security-high"},
      {programOptionAction_, "ToolButton19", "OP", progC, "document-properties"},
      {programIdAction_, "ToolButton20", "ID", progC},
      {programMemoryAction_, "ToolButton21", "PM", progC, "media-record"},
      {writeEepromAction_, "WriteEE", "EE", progC},
      {nullptr, nullptr, nullptr, {}},
      {autoProgramAction_, "ToolButton5", "AP", autoC, "media-playback-start"},
      {autoProgramNoBlankCheckAction_, "ToolButton12", "AP-", autoC},
      {forceWriteAction_, "ForceWrite", "FW", QColor(170, 30, 30)},
      {productionAction_, "ProductionButton", "PRD", autoC},
      {nullptr, nullptr, nullptr, {}},
      {cascadeAction_, "ToolButton8", "CAS", winC},
      {tileHorizontallyAction_, "ToolButton9", "TH", winC},
      {tileVerticallyAction_, "ToolButton10", "TV", winC},
  };
  for (const Button& b : buttons) {
    if (b.action == nullptr) {
      bar->addSeparator();
      continue;
    }
    b.action->setIcon(ToolIcon(b.theme, b.letters, b.colour));
    bar->addAction(b.action);
    QWidget* w = bar->widgetForAction(b.action);
    w->setObjectName(b.name);
    w->setAccessibleName(b.action->toolTip());
  }
}


void MainActions::Connect() {
  // A command of the buffers and files: only while no operation, check or close is under way.
  auto onAllowed = [this](QAction* action, std::function<void()> command) {
    connect(action, &QAction::triggered, this, [this, command = std::move(command)] {
      if (parts_.host.CommandAllowed()) command();
    });
  };
  onAllowed(openAction_, [this] { parts_.host.editors().onOpenFile(); });
  onAllowed(loadConfigAction_, [this] { parts_.host.editors().onLoadConfig(); });
  onAllowed(saveConfigAction_, [this] { parts_.host.editors().onSaveConfig(); });
  onAllowed(saveDisassemblyAction_, [this] { parts_.host.editors().onSaveDisassembly(); });
  onAllowed(saveProgramMemoryAction_, [this] { parts_.host.editors().onSaveProgramMemory(); });
  connect(exitAction_, &QAction::triggered, &parts_.window, &QWidget::close);
  onAllowed(showProgramMemoryAction_, [this] { parts_.host.editors().Windows().showProgramMemory(); });
  onAllowed(showIdAction_, [this] { parts_.host.editors().Windows().showId(); });
  onAllowed(showDisassemblyAction_, [this] {
    parts_.host.editors().Windows().showDisassembly();
    saveDisassemblyAction_->setEnabled(true);  // at once rather than on the timer's next tick
  });
  onAllowed(showEepromAction_, [this] {
    if (parts_.ws.device.IsFlash()) parts_.host.editors().Windows().showEeprom();
  });
  connect(showJournalAction_, &QAction::triggered, this, &MainActions::onShowJournal);
  connect(productionAction_, &QAction::triggered, &parts_.host.device(), &DeviceCommands::onShowProduction);
  onAllowed(editOptionAction_, [this] { parts_.host.editors().onEditOption(); });
  onAllowed(serialSetupAction_, [this] { parts_.host.editors().onSerialSetup(); });
  onAllowed(loadQtpFileAction_, [this] { parts_.host.editors().onLoadQtpFile(); });
  onAllowed(clearOptionAction_, [this] { parts_.host.editors().onClearOption(); });
  onAllowed(clearIdAction_, [this] { parts_.host.editors().onClearId(); });
  onAllowed(clearBufferAction_, [this] { parts_.host.editors().onClearBuffer(); });
  onAllowed(fillBufferAction_, [this] { parts_.host.editors().onFillBuffer(); });
  onAllowed(clearEepromAction_, [this] {
    if (parts_.ws.device.IsFlash()) parts_.host.editors().onClearEeprom();
  });
  // The status panel's OPTION area and "ID :" box open what their menu commands open.
  connect(&parts_.panel, &StatusPanel::optionAreaDoubleClicked, editOptionAction_, &QAction::trigger);
  connect(&parts_.panel, &StatusPanel::idBoxDoubleClicked, showIdAction_, &QAction::trigger);

  DeviceCommands* device = &parts_.host.device();
  auto on = [this, device](QAction* action, void (DeviceCommands::*handler)()) {
    connect(action, &QAction::triggered, device, handler);
  };
  on(blankCheckAction_, &DeviceCommands::onBlankCheck);
  on(readAction_, &DeviceCommands::onRead);
  on(verifyAction_, &DeviceCommands::onVerify);
  on(verifyWithProtectAction_, &DeviceCommands::onVerifyWithProtect);
  on(autoProgramAction_, &DeviceCommands::onAutoProgram);
  on(autoProgramNoBlankCheckAction_, &DeviceCommands::onAutoProgramWithoutBlankCheck);
  on(programOptionAction_, &DeviceCommands::onProgramOption);
  on(programIdAction_, &DeviceCommands::onProgramId);
  on(programMemoryAction_, &DeviceCommands::onProgramMemory);
  on(eraseAction_, &DeviceCommands::onErase);
  on(writeEepromAction_, &DeviceCommands::onWriteEeprom);
  on(forceWriteAction_, &DeviceCommands::onForceWrite);
  on(downloadAction_, &DeviceCommands::onDownload);
  // The About box and the counter are no device commands: a part of their own, a child of this.
  auto* aboutAndCounter = new AboutAndCounter(parts_, this);
  connect(setCounterAction_, &QAction::triggered, aboutAndCounter, &AboutAndCounter::onSetCounter);
  connect(aboutAction_, &QAction::triggered, aboutAndCounter, &AboutAndCounter::onAbout);
  connect(versionInfoAction_, &QAction::triggered, this, [this] {
    auto* box = new VersionInfoDialog(&parts_.window);
    connect(box, &QDialog::finished, box, &QObject::deleteLater);
    box->open();
  });
  connect(&parts_.panel, &StatusPanel::passCountDoubleClicked, aboutAndCounter,
          &AboutAndCounter::onSetCounter);

  connect(cascadeAction_, &QAction::triggered, &parts_.mdiArea, &QMdiArea::cascadeSubWindows);
  connect(tileHorizontallyAction_, &QAction::triggered, this,
          [this] { TileSubWindows(&parts_.mdiArea, true); });
  connect(tileVerticallyAction_, &QAction::triggered, this,
          [this] { TileSubWindows(&parts_.mdiArea, false); });
  connect(minimizeAllAction_, &QAction::triggered, this, [this] {
    for (auto* w : parts_.mdiArea.subWindowList()) w->showMinimized();
  });
  connect(arrangeAllAction_, &QAction::triggered, this, [this] {
    for (auto* w : parts_.mdiArea.subWindowList())
      if (w->isMinimized()) w->showNormal();
    parts_.mdiArea.tileSubWindows();
  });
}

}  // namespace kvx::gui
