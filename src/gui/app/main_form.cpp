// TMainForm's construction: the menus, the toolbars with the port selectors and the hidden
// engineering controls, the multi-document area and the status panel.
#include "gui/app/main_form.h"
#include "gui/common/gui_queue.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include "gui/app/journal_window.h"
#include "gui/app/operation_session.h"
#include "gui/app/production_window.h"
#include "gui/app/port_chooser.h"
#include "gui/common/prompter.h"
#include "gui/app/status_panel.h"
#include "gui/common/widgets.h"

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

// Double clicks on the "Serial Port :" label reach the window through this filter.
class DoubleClickFilter : public QObject {
 public:
  DoubleClickFilter(QObject* parent, std::function<void()> onDouble)
      : QObject(parent), onDouble_(std::move(onDouble)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonDblClick) {
      onDouble_();
      return true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> onDouble_;
};

}  // namespace

TMainForm::TMainForm(const MainFormOptions& options, QWidget* parent)
    : QMainWindow(parent),
      ws_(std::make_unique<kvx::Workspace>()),
      steady_(std::make_unique<kvx::SteadyClock>()),
      clock_(options.clock != nullptr ? options.clock : steady_.get()),
      sim_(options.simClock),
      prompter_(options.prompter != nullptr ? options.prompter : &DefaultPrompter()),
      closeLogo_(options.closeLogo) {
  setObjectName("MainForm");
  ws_->StartDir = options.startDir.toStdString();
  ports_ = std::make_unique<kvx::PortSelector>(
      *ws_, *clock_, [this] { return sim_.OpenPort(ws_->DeviceIndex); }, options.env);
  env_ = options.env;

  mdiArea_ = new QMdiArea(this);
  mdiArea_->setObjectName("MdiArea");
  mdiArea_->setAccessibleName("Windows");
  panel_ = new TStatusPanel(this);
  ComboBox2 = panel_->DeviceList();
  auto* central = new QWidget(this);
  auto* row = new QHBoxLayout(central);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(mdiArea_, 1);
  row->addWidget(panel_);
  setCentralWidget(central);
  statusBar()->setObjectName("StatusBar");

  CreateMenus();
  CreateToolBars();
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(500);
  ConnectHandlers();
  checkEnds_ = new GuiQueue(this);
  FormCreate();
}

TMainForm::~TMainForm() = default;

void TMainForm::onShowJournal() {
  const QString path = QDir(QString::fromStdString(ws_->StartDir)).filePath(kvx::kJournalFileName);
  auto* window = new JournalWindow(path.toStdString(), *prompter_, this);
  window->show();
}

void TMainForm::onShowProduction() {
  if (!CommandAllowed()) return;
  ProductionOptions options;
  options.journalPath =
      QDir(QString::fromStdString(ws_->StartDir)).filePath(kvx::kJournalFileName).toStdString();
  options.env = env_;
  options.clock = clock_;
  auto* window = new ProductionWindow(*ws_, options, *prompter_, this);
  if (!window->Ready()) {
    delete window;
    return;
  }
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

QAction* TMainForm::MakeAction(const char* name, const QString& text, const QString& hint,
                               const QKeySequence& shortcut) {
  auto* action = new QAction(text, this);
  action->setObjectName(name);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  if (!hint.isEmpty()) {
    action->setToolTip(hint);
    action->setStatusTip(hint);
  }
  return action;
}

void TMainForm::CreateMenus() {
  QMenuBar* bar = menuBar();
  bar->setObjectName("MainMenu1");
  QMenu* file = bar->addMenu("&File");
  file->setObjectName("File1");
  FileOpen1 = MakeAction("FileOpen1", "&Open...", "Open");
  LoadConfig1 = MakeAction("LoadConfig1", "Load Config File ", "Load Config File", Qt::CTRL | Qt::Key_L);
  FileSaveItem = MakeAction("FileSaveItem", "Save Config File", "Save ConFig File", Qt::CTRL | Qt::Key_S);
  FileSaveAsItem = MakeAction("FileSaveAsItem", "Save Disassmble");
  SaveProgramMemory1 = MakeAction("SaveProgramMemory1", "Save Program Memory", "Save Program Memory");
  FileExit1 = MakeAction("FileExit1", "E&xit");
  file->addActions({FileOpen1, LoadConfig1, FileSaveItem, FileSaveAsItem, SaveProgramMemory1});
  file->addSeparator();
  file->addAction(FileExit1);

  QMenu* edit = bar->addMenu("&Edit");
  edit->setObjectName("Edit1");
  EditOPTION = MakeAction("EditOPTION", "OPTION", {}, Qt::Key_F4);
  SerialNoMode1 = MakeAction("SerialNoMode1", "Serial No. Mode");
  CounterMode1 = MakeAction("CounterMode1", "Set Counter Value");
  LoadQTPFile1 = MakeAction("LoadQTPFile1", "Load QTP File");
  ClearOPTION1 = MakeAction("ClearOPTION1", "Clear OPTION");
  ClearID1 = MakeAction("ClearID1", "Clear ID");
  ClearBuffer1 = MakeAction("ClearBuffer1", "Clear Buffer");
  FillBuffer1 = MakeAction("FillBuffer1", "Fill Buffer", {}, Qt::CTRL | Qt::Key_F);
  ClearEEPROMBuffer1 = MakeAction("ClearEEPROMBuffer1", "Clear EEPROM Buffer");
  edit->addActions({EditOPTION, SerialNoMode1, CounterMode1, LoadQTPFile1});
  edit->addSeparator();
  edit->addActions({ClearOPTION1, ClearID1, ClearBuffer1, FillBuffer1, ClearEEPROMBuffer1});

  QMenu* view = bar->addMenu("&View");
  view->setObjectName("View1");
  ProgramMemory1 = MakeAction("ProgramMemory1", "Program Memory");
  ID2 = MakeAction("ID2", "ID");
  Disassemble1 = MakeAction("Disassemble1", "Disassemble");
  EEPROM1 = MakeAction("EEPROM1", "EEPROM");
  view->addActions({ProgramMemory1, ID2, Disassemble1, EEPROM1});
  view->addSeparator();
  journalAction_ = MakeAction("JournalAction", "Production &Journal...", "Production journal");
  view->addAction(journalAction_);

  QMenu* program = bar->addMenu("&Program");
  program->setObjectName("Program1");
  BlankCheckAction = MakeAction("BlankCheckAction", "Blank Check", "Blank Check", Qt::Key_F5);
  ReadICAction = MakeAction("ReadICAction", "Read", "Read", Qt::Key_F6);
  VerifyICAction = MakeAction("VerifyICAction", "Verify", "Verify", Qt::Key_F7);
  VerifywithProtect1 = MakeAction("VerifywithProtect1", "Verify with Protect", "Verify with protect");
  AutoProgramAction = MakeAction("AutoProgramAction", "Auto Program", "Auto program", Qt::Key_F8);
  AutoProgramNoBlankCheckAction =
      MakeAction("AutoProgramNoBlankCheckAction", "Auto Program without Blank Check",
                 "Auto program without blank check", Qt::Key_F9);
  ProgramOption = MakeAction("ProgramOption", "OPTION", "Program OPTION");
  ID3 = MakeAction("ID3", "ID and Checksum", "Program ID & Checksum");
  ProgramMemory2 = MakeAction("ProgramMemory2", "Program Memory", "Program Memory");
  program->addActions({BlankCheckAction, ReadICAction, VerifyICAction, VerifywithProtect1});
  program->addSeparator();
  program->addActions({AutoProgramAction, AutoProgramNoBlankCheckAction});
  productionAction_ = MakeAction("ProductionAction", "Production (several Writers)...",
                                 "Production: several Writers at once");
  program->addAction(productionAction_);
  program->addSeparator();
  program->addActions({ProgramOption, ID3, ProgramMemory2});
  EraseAction = MakeAction("EraseAction", "Erase", "Erase Flash memory");
  WriteEEAction = MakeAction("WriteEEAction", "Write EEPROM", "Write EEPROM");
  ForceWriteAction = MakeAction("ForceWriteAction", "Force Write", "Force Write");

  QMenu* window = bar->addMenu("&Window");
  window->setObjectName("Window1");
  WindowCascade1 = MakeAction("WindowCascade1", "&Cascade", "Cascade");
  WindowTileHorizontal1 = MakeAction("WindowTileHorizontal1", "Tile &Horizontally", "Tile Horizontally");
  WindowTileVertical1 = MakeAction("WindowTileVertical1", "&Tile Vertically", "Tile Vertically");
  WindowMinimizeAll1 = MakeAction("WindowMinimizeAll1", "&Minimize All", "Minimize All");
  WindowArrangeAll1 = MakeAction("WindowArrangeAll1", "&Arrange All", "Arrange All");
  window->addActions({WindowCascade1, WindowTileHorizontal1, WindowTileVertical1,
                      WindowMinimizeAll1, WindowArrangeAll1});

  QMenu* download = bar->addMenu("DownLoad");
  download->setObjectName("DownLoad2");
  DownLoad1 = MakeAction("DownLoad1", "DownLoad");
  download->addAction(DownLoad1);

  QMenu* help = bar->addMenu("&Help");
  help->setObjectName("Help1");
  HelpAbout1 = MakeAction("HelpAbout1", "&About...");
  VersionInfo1 = MakeAction("VersionInfo1", "Version Info");
  help->addActions({HelpAbout1, VersionInfo1});
}

void TMainForm::CreateToolBars() {
  QToolBar* bar = addToolBar("Commands");
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
      {FileOpen1, "ToolButton1", "OPN", fileC, "document-open"},
      {LoadConfig1, "ToolButton2", "LC", fileC},
      {FileSaveItem, "ToolButton3", "SC", fileC, "document-save"},
      {SaveProgramMemory1, "ToolButton4", "SPM", fileC, "document-save-as"},
      {nullptr, nullptr, nullptr, {}},
      {BlankCheckAction, "ToolButton6", "BC", progC, "edit-find"},
      {EraseAction, "Erase", "ER", progC, "edit-clear"},
      {ReadICAction, "ToolButton7", "RD", progC, "document-import go-down"},
      {VerifyICAction, "ToolButton17", "VF", progC, "emblem-default"},
      {VerifywithProtect1, "ToolButton18", "VP", progC, "security-high"},
      {ProgramOption, "ToolButton19", "OP", progC, "document-properties"},
      {ID3, "ToolButton20", "ID", progC},
      {ProgramMemory2, "ToolButton21", "PM", progC, "media-record"},
      {WriteEEAction, "WriteEE", "EE", progC},
      {nullptr, nullptr, nullptr, {}},
      {AutoProgramAction, "ToolButton5", "AP", autoC, "media-playback-start"},
      {AutoProgramNoBlankCheckAction, "ToolButton12", "AP-", autoC},
      {ForceWriteAction, "ForceWrite", "FW", QColor(170, 30, 30)},
      {productionAction_, "ProductionButton", "PRD", autoC},
      {nullptr, nullptr, nullptr, {}},
      {WindowCascade1, "ToolButton8", "CAS", winC},
      {WindowTileHorizontal1, "ToolButton9", "TH", winC},
      {WindowTileVertical1, "ToolButton10", "TV", winC},
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
  // The hidden Force Write button shows with the engineering panel.
  ForceWriteAction->setVisible(false);

  addToolBarBreak();
  QToolBar* port = addToolBar("Port");
  port->setObjectName("ToolBar2");
  port->setMovable(false);
  Label3 = new QLabel(port);
  Label3->setObjectName("Label3");
  SetLabelText(Label3, "Serial Port :");
  Label3->setContentsMargins(6, 0, 4, 0);
  Label3->installEventFilter(new DoubleClickFilter(this, [this] { Label3DblClick(); }));
  port->addWidget(Label3);
  ComboBox1 = new QComboBox(port);
  Name(ComboBox1, "ComboBox1", "Serial Port");
  portChooser_ = new PortChooser(ComboBox1, env_, this);
  port->addWidget(ComboBox1);
  auto* hsLabel = new QLabel(port);
  hsLabel->setObjectName("Label4");
  SetLabelText(hsLabel, "HandShake :");
  hsLabel->setContentsMargins(10, 0, 4, 0);
  port->addWidget(hsLabel);
  HandShake = new QComboBox(port);
  Name(HandShake, "HandShake", "HandShake");
  for (std::string_view name : kvx::kHandShakeNames) HandShake->addItem(QString::fromUtf8(name.data(), name.size()));
  port->addWidget(HandShake);
  CreateEngineeringControls(port);
}

void TMainForm::CreateEngineeringControls(QToolBar* bar) {
  auto label = [&](const char* name, const QString& text, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    SetLabelText(l, text);
    return l;
  };
  Panel2 = new QWidget(bar);
  Panel2->setObjectName("Panel2");
  auto* row = new QHBoxLayout(Panel2);
  row->setContentsMargins(12, 0, 0, 0);
  QtpSim = new QPushButton(Panel2);
  QtpSim->setObjectName("QtpSim");
  SetButtonText(QtpSim, "Enable");
  FlashPgmTest = new QPushButton(Panel2);
  FlashPgmTest->setObjectName("FlashPgmTest");
  SetButtonText(FlashPgmTest, "Enable");
  row->addWidget(label("Label20", "QTP Sim :", Panel2));
  row->addWidget(QtpSim);
  row->addWidget(label("Label21", "Flash Pgm Test :", Panel2));
  row->addWidget(FlashPgmTest);
  // A widget on a toolbar shows and hides through its action.
  panel2Action_ = bar->addWidget(Panel2);
  panel2Action_->setObjectName("Panel2Action");
  panel2Action_->setVisible(false);

  // The pulse and erase width edits are built hidden and stay hidden: the header then carries
  // fixed widths.
  auto* widths = new QWidget(bar);
  widths->setObjectName("WidthPanel");
  auto* wrow = new QHBoxLayout(widths);
  wrow->setContentsMargins(12, 0, 0, 0);
  PulseWidth = new QLineEdit("5", widths);
  Name(PulseWidth, "PulseWidth", "Write pulse width:");
  PulseWidth->setValidator(new QIntValidator(0, 999, PulseWidth));
  PulseWidth->setMaximumWidth(40);
  EraseWidth = new QLineEdit("120", widths);
  Name(EraseWidth, "EraseWidth", "Erase Pulse Width:");
  EraseWidth->setValidator(new QIntValidator(0, 999, EraseWidth));
  EraseWidth->setMaximumWidth(40);
  QLabel* l1 = label("Label22", "Write pulse width:", widths);
  QLabel* l2 = label("Label23", "x 0.2ms", widths);
  QLabel* l3 = label("Label24", "Erase Pulse Width:", widths);
  QLabel* l4 = label("Label25", "x 0.1ms", widths);
  for (QWidget* w : {static_cast<QWidget*>(l1), static_cast<QWidget*>(PulseWidth),
                     static_cast<QWidget*>(l2), static_cast<QWidget*>(l3),
                     static_cast<QWidget*>(EraseWidth), static_cast<QWidget*>(l4)}) {
    wrow->addWidget(w);
    w->setVisible(false);
  }
  cbKeepOption = new QCheckBox("Keep Option for new code", widths);
  cbKeepOption->setObjectName("cbKeepOption");
  cbKeepOption->setAccessibleName("Keep Option for new code");
  cbKeepOption->setVisible(false);
  wrow->addWidget(cbKeepOption);
  bar->addWidget(widths);
}

void TMainForm::ConnectHandlers() {
  auto on = [this](QAction* action, void (TMainForm::*handler)()) {
    connect(action, &QAction::triggered, this, handler);
  };
  on(FileOpen1, &TMainForm::FileOpen1Execute);
  on(LoadConfig1, &TMainForm::LoadConfig1Click);
  on(FileSaveItem, &TMainForm::FileSaveItemClick);
  on(FileSaveAsItem, &TMainForm::FileSaveAsItemClick);
  on(SaveProgramMemory1, &TMainForm::SaveProgramMemory1Click);
  connect(FileExit1, &QAction::triggered, this, &QWidget::close);
  on(ProgramMemory1, &TMainForm::ProgramMemory1Click);
  on(ID2, &TMainForm::ID2Click);
  on(Disassemble1, &TMainForm::Disassemble1Click);
  on(EEPROM1, &TMainForm::EEPROM1Click);
  on(journalAction_, &TMainForm::onShowJournal);
  on(productionAction_, &TMainForm::onShowProduction);
  on(EditOPTION, &TMainForm::EditOPTIONClick);
  on(SerialNoMode1, &TMainForm::SerialNoMode1Click);
  on(CounterMode1, &TMainForm::CounterMode1Click);
  on(LoadQTPFile1, &TMainForm::LoadQTPFile1Click);
  on(ClearOPTION1, &TMainForm::ClearOPTION1Click);
  on(ClearID1, &TMainForm::ClearID1Click);
  on(ClearBuffer1, &TMainForm::ClearBuffer1Click);
  on(FillBuffer1, &TMainForm::FillBuffer1Click);
  on(ClearEEPROMBuffer1, &TMainForm::ClearEEPROMBuffer1Click);
  on(BlankCheckAction, &TMainForm::BlankCheckActionExecute);
  on(ReadICAction, &TMainForm::ToolButton7Click);
  on(VerifyICAction, &TMainForm::Veryfy1Click);
  on(VerifywithProtect1, &TMainForm::VerifywithProtect1Click);
  on(AutoProgramAction, &TMainForm::AutoProgram1Click);
  on(AutoProgramNoBlankCheckAction, &TMainForm::AutoProgramwithoutBlankCheck1Click);
  on(ProgramOption, &TMainForm::OPTION3Click);
  on(ID3, &TMainForm::ID3Click);
  on(ProgramMemory2, &TMainForm::ProgramMemory2Click);
  on(EraseAction, &TMainForm::EraseClick);
  on(WriteEEAction, &TMainForm::WriteEEClick);
  on(ForceWriteAction, &TMainForm::ForceWriteClick);
  connect(WindowCascade1, &QAction::triggered, mdiArea_, &QMdiArea::cascadeSubWindows);
  connect(WindowTileHorizontal1, &QAction::triggered, this,
          [this] { TileSubWindows(mdiArea_, true); });
  connect(WindowTileVertical1, &QAction::triggered, this,
          [this] { TileSubWindows(mdiArea_, false); });
  connect(WindowMinimizeAll1, &QAction::triggered, this, [this] {
    for (auto* w : mdiArea_->subWindowList()) w->showMinimized();
  });
  connect(WindowArrangeAll1, &QAction::triggered, this, [this] {
    for (auto* w : mdiArea_->subWindowList())
      if (w->isMinimized()) w->showNormal();
    mdiArea_->tileSubWindows();
  });
  on(DownLoad1, &TMainForm::DownLoad1Click);
  on(HelpAbout1, &TMainForm::HelpAbout1Execute);
  on(VersionInfo1, &TMainForm::VersionInfo1Click);

  connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
  connect(HandShake, &QComboBox::currentIndexChanged, this, [this] { ComboBox1Change(); });
  connect(ComboBox2, &QComboBox::currentIndexChanged, this, [this] { ComboBox2Change(); });
  connect(Timer1, &QTimer::timeout, this, &TMainForm::Timer1Timer);
  connect(QtpSim, &QPushButton::clicked, this, &TMainForm::QtpSimClick);
  connect(FlashPgmTest, &QPushButton::clicked, this, &TMainForm::FlashPgmTestClick);
  connect(PulseWidth, &QLineEdit::textChanged, this, &TMainForm::PulseWidthChange);
  connect(EraseWidth, &QLineEdit::textChanged, this, &TMainForm::EraseWidthChange);
  connect(panel_, &TStatusPanel::optionAreaDoubleClicked, this, &TMainForm::OptionAreaDblClick);
  connect(panel_, &TStatusPanel::idBoxDoubleClicked, this, &TMainForm::IdBoxDblClick);
  connect(panel_, &TStatusPanel::passCountDoubleClicked, this, &TMainForm::CounterMode1Click);
}

}  // namespace kvx::gui
