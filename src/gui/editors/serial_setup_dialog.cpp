#include "gui/editors/serial_setup_dialog.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/device/workspace.h"
#include "core/production/qtp_file.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {

constexpr char kQtpSaveFilter[] = "Text files (*.txt)|*.txt|All File (*.*)|*.*";

QGroupBox* RadioGroup(QWidget* parent, const char* name, const QString& title, QRadioButton*& first,
                      const char* firstName, const QString& firstText, QRadioButton*& second,
                      const char* secondName, const QString& secondText) {
  auto* group = Named(new QGroupBox(title, parent), name);
  group->setAccessibleName(title);
  first = Named(new QRadioButton(firstText, group), firstName);
  second = Named(new QRadioButton(secondText, group), secondName);
  first->setAccessibleName(firstText);
  second->setAccessibleName(secondText);
  auto* layout = new QVBoxLayout(group);
  layout->addWidget(first);
  layout->addWidget(second);
  return group;
}

}  // namespace

SerialSetupDialog::SerialSetupDialog(Workspace& ws, EditorHooks hooks, Prompter& prompter,
                                       QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ws_(ws),
      hooks_(std::move(hooks)),
      prompter_(prompter) {
  setObjectName(QStringLiteral("TSerialNoSetupForm"));
  setWindowTitle(QStringLiteral("Serial No."));
  setAttribute(Qt::WA_DeleteOnClose);

  struct Row {
    const char* name;
    const char* caption;
    const char* hint;
    int maxLength;
    char (*key)(char);
    QLineEdit** edit;
  } rows[] = {
      {"StartAddress", "Start Address :", "(HEX)", 4, HexFieldKey, &startAddressEdit},
      {"NoOfByte", "No. of Byte :", "(1 ~ 8)", 1, ByteCountFieldKey, &byteCountEdit},
      {"StartValue", "Start Value :", "(HEX)", 16, HexFieldKey, &startValueEdit},
      {"Increment", "Increment :", "(1~255)", 3, DecimalFieldKey, &incrementEdit},
      {"NoOfPart", "No. of Parts :", "(DEC)", 6, DecimalFieldKey, &partCountEdit},
  };
  auto* grid = new QGridLayout;
  int r = 0;
  for (const Row& row : rows) {
    const QString caption = QString::fromLatin1(row.caption);
    grid->addWidget(MakeLabel(this, (std::string(row.name) + "Label").c_str(), caption), r, 0);
    *row.edit = MakeEdit(this, row.name, caption, row.maxLength);
    InstallKeyFilter(*row.edit, row.key);
    (*row.edit)->installEventFilter(this);
    grid->addWidget(*row.edit, r, 1);
    grid->addWidget(MakeLabel(this, (std::string(row.name) + "Hint").c_str(), QString::fromLatin1(row.hint)), r, 2);
    ++r;
  }
  startValueEdit->setMinimumWidth(QFontMetrics(startValueEdit->font()).horizontalAdvance(QString(18, QLatin1Char('0'))));

  auto* groups = new QHBoxLayout;
  groups->addWidget(RadioGroup(this, "RadioGroup1", QStringLiteral("Serial No. Mode"), sequentialButton, "Sequential",
                               QStringLiteral("Sequential"), pseudoRandomButton, "PseudoRandom",
                               QStringLiteral("Pseudo-random")));
  groups->addWidget(RadioGroup(this, "RadioGroup2", QStringLiteral("MSB or LSB First"), msbFirstButton, "MsbFirst",
                               QStringLiteral("MSB->LSB"), lsbFirstButton, "LsbFirst", QStringLiteral("LSB->MSB")));

  auto* note = MakeLabel(this, "Label6", QStringLiteral("( Only available in Auto program mode!! )"));
  auto* ok = MakeButton(this, "BitBtn1", QStringLiteral("OK"));
  ok->setDefault(true);
  auto* abort = MakeButton(this, "BitBtn2", QStringLiteral("Abort"));
  auto* disable = MakeButton(this, "BitBtn3", QStringLiteral("Disable Serial Mode"));
  auto* qtp = MakeButton(this, "BitBtn4", QStringLiteral("QTP File"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(disable);
  buttons->addWidget(qtp);
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(abort);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(groups);
  layout->addWidget(note);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  Show(SerialSetupFromWorkspace(ws));  // FormCreate; "No. of Parts" starts at 1
  connect(pseudoRandomButton, &QRadioButton::toggled, this, &SerialSetupDialog::onModeChanged);
  connect(ok, &QPushButton::clicked, this, &SerialSetupDialog::onOk);
  connect(abort, &QPushButton::clicked, this, &QDialog::reject);
  connect(disable, &QPushButton::clicked, this, &SerialSetupDialog::onDisableSerialMode);
  connect(qtp, &QPushButton::clicked, this, &SerialSetupDialog::onSaveQtpFile);
}

SerialSetupFields SerialSetupDialog::Fields() const {
  SerialSetupFields f;
  f.StartAddress = S(startAddressEdit->text());
  f.NoOfByte = S(byteCountEdit->text());
  f.StartValue = S(startValueEdit->text());
  f.StartValueMaxLength = startValueEdit->maxLength();
  f.Increment = S(incrementEdit->text());
  f.NoOfPart = S(partCountEdit->text());
  f.StepMode = pseudoRandomButton->isChecked() ? 1 : 0;
  f.ByteOrder = lsbFirstButton->isChecked() ? 1 : 0;
  return f;
}

void SerialSetupDialog::Show(const SerialSetupFields& f) {
  startAddressEdit->setText(Q(f.StartAddress));
  byteCountEdit->setText(Q(f.NoOfByte));
  startValueEdit->setMaxLength(f.StartValueMaxLength);
  startValueEdit->setText(Q(f.StartValue));
  incrementEdit->setText(Q(f.Increment));
  partCountEdit->setText(Q(f.NoOfPart));
  (f.StepMode == 1 ? pseudoRandomButton : sequentialButton)->setChecked(true);
  (f.ByteOrder == 1 ? lsbFirstButton : msbFirstButton)->setChecked(true);
  incrementEdit->setEnabled(f.IncrementEnabled());
}

void SerialSetupDialog::Report(const SetupOutcome& outcome) {
  if (outcome.message.empty()) return;
  if (outcome.errorBox)
    prompter_.Error(this, Q(outcome.message));
  else
    prompter_.Message(this, Q(outcome.message));
}

void SerialSetupDialog::CheckLeftField(std::string (*exit)(SerialSetupFields&)) {
  SerialSetupFields f = Fields();
  const std::string message = exit(f);
  Show(f);
  if (!message.empty()) prompter_.Message(this, Q(message));
}

void SerialSetupDialog::onStartAddressLeft() {
  SerialSetupFields f = Fields();
  kvx::StartAddressExit(f);
  Show(f);
}
void SerialSetupDialog::onByteCountLeft() { CheckLeftField(kvx::NoOfByteExit); }
void SerialSetupDialog::onStartValueLeft() { CheckLeftField(kvx::StartValueExit); }
void SerialSetupDialog::onIncrementLeft() { CheckLeftField(kvx::IncrementExit); }
void SerialSetupDialog::onPartCountLeft() { CheckLeftField(kvx::NoOfPartExit); }

void SerialSetupDialog::onModeChanged() { incrementEdit->setEnabled(!pseudoRandomButton->isChecked()); }

void SerialSetupDialog::onOk() {
  SerialSetupFields f = Fields();
  const SetupOutcome outcome = SerialSetupOk(ws_, f);
  Show(f);
  Report(outcome);
  hooks_.PanelChanged();
  if (!outcome.closeDialog) return;
  hooks_.CommandsChanged();  // the single-step ID, Program Memory and OPTION commands go grey
  accept();
}

void SerialSetupDialog::onDisableSerialMode() {
  Report(DisableSerialMode(ws_));
  hooks_.PanelChanged();
  hooks_.CommandsChanged();
  done(DisabledResult);
}

void SerialSetupDialog::onSaveQtpFile() {
  SerialSetupFields f = Fields();
  long parts = 0;
  const SetupOutcome prepared = PrepareQtpFile(ws_, f, parts);
  Show(f);
  if (!prepared.message.empty()) {
    Report(prepared);
    hooks_.PanelChanged();
    return;
  }
  FileDialogRequest request;
  request.save = true;
  request.title = QStringLiteral("Save QTP File");
  request.filters = DialogFilters(kQtpSaveFilter);
  const FileDialogAnswer answer = prompter_.FileName(this, request);
  if (!answer.accepted) return;
  const QtpSaveDecision decision = DecideQtpSave(answer.filterIndex == 1, S(answer.path));
  if (!decision.save) {
    prompter_.Message(this, Q(decision.message));
    return;
  }
  if (decision.askReplace && !prompter_.YesNo(this, Q(kMsgQtpFileExists))) return;
  const std::string message = WriteQtpFile(ws_, decision.path, parts);
  hooks_.PanelChanged();
  if (!message.empty()) {
    prompter_.Message(this, Q(message));
    return;
  }
  reject();  // the mode is unchanged: the dialog closes as after Abort
}

bool SerialSetupDialog::eventFilter(QObject* watched, QEvent* event) {
  // Only the focus moving on inside the dialog is leaving a field, not a message box popping up.
  const auto reason = event->type() == QEvent::FocusOut ? static_cast<QFocusEvent*>(event)->reason()
                                                        : Qt::OtherFocusReason;
  if (event->type() == QEvent::FocusOut && reason != Qt::ActiveWindowFocusReason &&
      reason != Qt::PopupFocusReason) {
    if (watched == startAddressEdit) onStartAddressLeft();
    if (watched == byteCountEdit) onByteCountLeft();
    if (watched == startValueEdit) onStartValueLeft();
    if (watched == incrementEdit) onIncrementLeft();
    if (watched == partCountEdit) onPartCountLeft();
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kvx::gui
