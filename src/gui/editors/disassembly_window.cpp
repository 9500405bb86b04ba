#include "gui/editors/disassembly_window.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "core/disasm/disassembler.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

DisassemblyWindow::DisassemblyWindow(const Workspace& ws, QWidget* parent)
    : QWidget(parent), listing_(DisassembleListing(ws)) {
  setObjectName(QStringLiteral("TDisassembleForm"));
  setWindowTitle(QStringLiteral("Disassembly"));
  Memo1 = Named(new QPlainTextEdit(this), "Memo1");
  Memo1->setReadOnly(true);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setFont(FixedFont());
  Memo1->setAccessibleName(windowTitle());
  QString text = Q(listing_);
  text.remove(QLatin1Char('\r'));
  Memo1->setPlainText(text);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo1);
  resize(QFontMetrics(Memo1->font()).horizontalAdvance(QString(56, QLatin1Char('0'))), 420);
}

}  // namespace kvx::gui
