#include "gui/app/desktop_journal.h"

#include <QString>

#include "core/production/journaled_passes.h"
#include "core/production/serial_number.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

namespace {


// The core's wording as a sentence of a message box.
QString Sentence(const std::string& text) {
  QString sentence = Q(text);
  if (!sentence.isEmpty()) sentence[0] = sentence[0].toUpper();
  return sentence;
}

}  // namespace

bool DesktopJournal::Open(Prompter& prompter, QWidget* parent) {
  if (journal_.IsOpen()) return true;
  std::string error;
  if (!journal_.Open(path_, error)) {
    // A file that did not open is tried again at the next command: the operator may mend it.
    prompter.Message(parent, Q(error + "; no chip was programmed"));
    return false;
  }
  justOpened_ = true;
  return true;
}

bool DesktopJournal::Begin(const kvx::Command& command, kvx::Workspace& ws, Prompter& prompter,
                           QWidget* parent) {
  if (!Open(prompter, parent)) return false;
  passes_.reset();
  error_.clear();
  stopped_ = false;
  // Force Write leaves serial-number mode: its chips are recorded without a number.
  std::string series;
  kvx::QtpFileState qtp;
  if (command.id != kvx::CommandId::ForceWrite && ws.SerialNoMode) {
    qtp = kvx::ReadQtpFileState(ws);
    series = kvx::SerialSeriesOf(ws, qtp.content);
  }
  const kvx::RunStart start = kvx::DecideRunStart(journal_, series, ws, qtp);
  // The passes of a run that died are told once, when the journal opens.
  if (const std::string notice = kvx::DeadRunNotice(start); justOpened_ && !notice.empty())
    prompter.Message(parent, Q(notice));
  justOpened_ = false;
  if (!PresentRunStart(start, ws, prompter, parent)) return false;
  passes_ = std::make_unique<kvx::PassJournal>(&journal_, ws.PortName, series, start.StartRecord());
  return true;
}

bool DesktopJournal::PresentRunStart(const kvx::RunStart& start, kvx::Workspace& ws,
                                     Prompter& prompter, QWidget* parent) {
  using Verdict = kvx::RunStart::Verdict;
  const std::string facts = kvx::RunStartFacts(start);
  switch (start.verdict) {
    case Verdict::StartHere:
      return true;
    case Verdict::JournalUnreadable:
      prompter.Message(parent, Sentence(facts + "; no chip was programmed"));
      return false;
    case Verdict::SeriesUsedUp:
      prompter.Message(parent, Sentence(facts + "."));
      return false;
    case Verdict::FirstNumberUsed:
    case Verdict::QtpRecordsUsed:
      break;
  }
  const std::string next = kvx::ResumePoint(start);
  if (!prompter.YesNo(parent, Sentence(facts + ".\n\nStart from " + next + "?"))) return false;
  std::string message;
  if (kvx::MoveToRunStart(start, ws, message)) return true;
  prompter.Message(parent, Sentence(message));
  return false;
}

kvx::OperationRunner::Work DesktopJournal::PassWork(const kvx::Command& command,
                                                    kvx::RunTarget target, long passNumber,
                                                    std::shared_ptr<kvx::PassResult> result) {
  error_.clear();
  return [this, &command, target, passNumber, result](std::stop_token stop) {
    kvx::OperationContext ctx{target.ws, target.port, target.clock, target.view, stop};
    *result = kvx::RunJournaledPass(command, ctx, passNumber, *passes_, error_);
    return result->outcome;
  };
}

bool DesktopJournal::PassEnded(Prompter& prompter, QWidget* parent) {
  if (error_.empty()) return true;
  stopped_ = true;
  prompter.Message(parent, Q(error_));
  return false;
}

}  // namespace kvx::gui
