#include "gui/app/desktop_journal.h"

#include <QString>

#include "core/production/journaled_passes.h"
#include "core/production/serial_number.h"
#include "gui/common/gui_queue.h"
#include "gui/common/local_time.h"
#include "gui/common/prompter.h"
#include "gui/common/widgets.h"

namespace kvx::gui {

JournalOpener::JournalOpener() : queue_(std::make_unique<GuiQueue>(nullptr)) {}

JournalOpener::~JournalOpener() = default;

bool JournalOpener::Start(kvx::Journal& journal, std::string name, kvx::Workspace& ws, Done done) {
  auto error = std::make_shared<std::string>();
  auto ok = std::make_shared<bool>(false);
  return Run(
      ws, [&journal, name = std::move(name), error, ok] { *ok = journal.Open(name, *error); },
      [error, ok, done = std::move(done)] { done(*ok, *error); });
}

bool JournalOpener::Run(kvx::Workspace& ws, std::function<void()> work, std::function<void()> done) {
  if (busy_) return false;
  busy_ = runner_.Start(
      ws,
      [work = std::move(work)](std::stop_token) {
        work();
        return kvx::OpOutcome::Ok;
      },
      [this, done = std::move(done)](kvx::OpOutcome) {
        queue_->Post([this, done] {
          runner_.Wait();  // it has returned: this joins at once
          busy_ = false;
          done();
        });
      });
  return busy_;
}

bool DesktopJournal::OpenThen(JournalOpener& opener, kvx::Workspace& ws, Prompter& prompter,
                              QWidget* parent, std::function<void(bool open)> then) {
  return opener.Start(journal_, path_, ws,
                      [this, &prompter, parent, then](bool ok, const std::string& error) {
                        if (ok)
                          justOpened_ = true;
                        else
                          prompter.Message(parent, Q(kvx::NoChipProgrammed(error)));
                        then(ok);
                      });
}

bool DesktopJournal::BeginThen(JournalOpener& opener, const kvx::Command& command,
                               kvx::Workspace& ws, Prompter& prompter, QWidget* parent,
                               std::function<void(bool start)> then) {
  if (!journal_.IsOpen()) return false;
  passes_.reset();
  error_.clear();
  stopped_ = false;
  auto decided = std::make_shared<kvx::RunStart>();
  return opener.Run(
      ws, [this, &command, &ws, decided] { *decided = kvx::DecideCommandStart(journal_, command, ws); },
      [this, &ws, &prompter, parent, decided, then] {
        // The passes of a run that died are told once, when the journal opens.
        const std::string notice = kvx::DeadRunNotice(*decided);
        if (justOpened_ && !notice.empty()) prompter.Message(parent, Q(notice));
        justOpened_ = false;
        const bool start = AskRunStart(*decided, ws, prompter, parent);
        if (start)
          passes_ = std::make_unique<kvx::PassJournal>(&journal_, ws.settings.PortName,
                                                       decided->series, decided->StartRecord());
        then(start);
      });
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

bool AskRunStart(const kvx::RunStart& start, kvx::Workspace& ws, Prompter& prompter, QWidget* parent) {
  if (start.verdict == kvx::RunStart::Verdict::StartHere) return true;
  if (!start.CanResume()) {
    std::string refusal = kvx::RunStartRefusal(start);
    if (!refusal.empty() && refusal.back() != '.' && refusal.back() != '!') refusal += '.';
    prompter.Message(parent, Sentence(refusal));
    return false;
  }
  const std::string question = kvx::RunStartFacts(start) + ".\n\nStart from " + kvx::ResumePoint(start) + "?";
  if (!prompter.YesNo(parent, Sentence(question))) return false;
  std::string message;
  if (kvx::MoveToRunStart(start, ws, message)) return true;
  prompter.Message(parent, Sentence(message));
  return false;
}

}  // namespace kvx::gui
