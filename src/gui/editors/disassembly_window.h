// The disassembly window (DisassemblyWindow): the listing of the program memory as it was when the
// window opened, read-only, in a fixed-width font.
#pragma once

#include <QWidget>
#include <string>

class QPlainTextEdit;

namespace kvx {
struct Workspace;
}

namespace kvx::gui {

class DisassemblyWindow : public QWidget {
  Q_OBJECT

 public:
  explicit DisassemblyWindow(const Workspace& ws, QWidget* parent = nullptr);

  QPlainTextEdit* listingText = nullptr;
  // The lines as saved: CR LF line ends.
  const std::string& Listing() const { return listing_; }

 private:
  std::string listing_;
};

}  // namespace kvx::gui
