#include "gui/app/about_box.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <QGridLayout>
#include <QLocale>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {

QLabel* Line(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  SetLabelText(label, text, Ampersands::DoubledShowOnce);
  return label;
}

QString PhysicalMemory() {
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long size = ::sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || size <= 0) return "Unknown";
  return QLocale(QLocale::English).toString(static_cast<qlonglong>(pages) * size / 1024) + " KB";
}

QString OperatingSystem() {
  struct utsname u {};
  if (::uname(&u) != 0) return "Unknown";
  return QString("%1 %2 (%3)").arg(u.sysname, u.release, u.version);
}

QPushButton* OkButton(QDialog* dialog) {
  auto* ok = new QPushButton(dialog);
  ok->setObjectName("OKButton");
  SetButtonText(ok, "OK");
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
  return ok;
}

}  // namespace

AboutBox::AboutBox(const QString& writerId, QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(20, 16, 20, 16);
  QLabel* name = Line(this, "ProductName", "KVX Writer");
  QFont big = name->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  name->setFont(big);
  layout->addWidget(name);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(12);
  grid->addWidget(Line(this, "Version", "Version : V2.63"), 0, 0, 1, 2);
  grid->addWidget(Line(this, "Label1", "Physical memory :"), 1, 0);
  grid->addWidget(Line(this, "PhysMem", PhysicalMemory()), 1, 1);
  grid->addWidget(Line(this, "Label2", "Operating system :"), 2, 0);
  QLabel* os = Line(this, "OSVersion", OperatingSystem());
  os->setWordWrap(true);
  grid->addWidget(os, 2, 1);
  grid->addWidget(Line(this, "Label3", "Writer firmware version :"), 3, 0);
  grid->addWidget(Line(this, "WriterVersion", writerId.isEmpty() ? "Unknown" : writerId), 3, 1);
  layout->addLayout(grid);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(OkButton(this));
  layout->addLayout(row);
  setMinimumWidth(460);
}

VersionInfoDialog::VersionInfoDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("VersionInfo");
  setWindowTitle("Version Info");
  auto* layout = new QVBoxLayout(this);
  auto* text = new QPlainTextEdit(this);
  Name(text, "Memo1", "Version Info");
  text->setReadOnly(true);
  text->setPlainText(
      "KVX Writer V2.63\n\n"
      "- 50 devices, KVX-01 to KVX-50, OTP and flash with data EEPROM.\n"
      "- Program files: KVX bin and hex, PIC obj and hex (translated).\n"
      "- Blank check, erase, read, program, verify, verify with protect.\n"
      "- Auto Program with serial numbers, QTP files and a pass count.\n"
      "- Device download for the newer Writer model (up to 16 devices).\n");
  layout->addWidget(text);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(OkButton(this));
  layout->addLayout(row);
  resize(560, 320);
}

}  // namespace kvx::gui
