// The main window's two small windows that are not device commands: the About box, after a fresh
// look at the Writer's identification, and the set-up of the pass counter.
#pragma once

#include <QObject>

#include "gui/app/window_parts.h"

namespace kvx::gui {


class AboutAndCounter : public QObject {
  Q_OBJECT
 public:
  AboutAndCounter(const WindowParts& parts, QObject* parent);

  // Help > About: the Writer is asked for its identification off the GUI thread (unless the
  // port is known to fail), then the box shows it.
  void onAbout();
  // Edit > Set Counter Value (and a double-click on the pass count): the new count, once the
  // dialog is accepted and no worker holds the workspace.
  void onSetCounter();

 private:
  WindowParts parts_;
};

}  // namespace kvx::gui
