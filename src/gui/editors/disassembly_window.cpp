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
  listingText = Named(new QPlainTextEdit(this), "Memo1");
  listingText->setReadOnly(true);
  listingText->setLineWrapMode(QPlainTextEdit::NoWrap);
  listingText->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  listingText->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  listingText->setFont(FixedFont());
  listingText->setAccessibleName(windowTitle());
  QString text = Q(listing_);
  text.remove(QLatin1Char('\r'));
  listingText->setPlainText(text);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(listingText);
  resize(QFontMetrics(listingText->font()).horizontalAdvance(QString(56, QLatin1Char('0'))), 420);
}

}  // namespace kvx::gui
