#include "gui/app/desktop_journal.h"

#include <QString>
#include <istream>
#include <iterator>

#include "core/production/journaled_passes.h"
#include "core/production/serial_number.h"
#include "gui/app/prompter.h"

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The loaded QTP file's whole text, which names its series; the file is left at its start.
std::string RewoundQtpContent(kvx::Workspace& ws) {
  if (!ws.QtpFileLoaded || !ws.QtpReadFile) return {};
  std::istream& in = *ws.QtpReadFile;
  in.clear();
  in.seekg(0);
  std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  in.clear();
  in.seekg(0);
  return content;
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
  if (const long recovered = journal_.RecoveredRows(); recovered > 0) {
    prompter.Message(parent, Q(std::to_string(recovered) +
                               " pass(es) of a run that ended without finishing are now "
                               "'unknown' in the journal; their serial numbers stay used"));
  }
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
  long firstRecord = 1;
  if (command.id != kvx::CommandId::ForceWrite && ws.SerialNoMode) {
    series = kvx::SerialSeriesOf(ws, RewoundQtpContent(ws));
    const bool ready = kvx::IsQtpSeries(series)
                           ? ResumeQtp(ws, series, firstRecord, prompter, parent)
                           : CheckSerialStart(ws, series, prompter, parent);
    if (!ready) return false;
  }
  passes_ = std::make_unique<kvx::PassJournal>(&journal_, ws.PortName, series, firstRecord);
  return true;
}

bool DesktopJournal::CheckSerialStart(kvx::Workspace& ws, const std::string& series,
                                      Prompter& prompter, QWidget* parent) {
  const std::string first = kvx::SerialHexText(ws);
  const auto use = journal_.FindUse(series, first, 0);
  if (!use) return true;
  const std::string wentOut = "Serial number " + first + " went out on " + use->started +
                              " on " + use->port + " (" +
                              std::string(kvx::OutcomeText(use->outcome)) + ")";
  const auto next = kvx::NextFreeSerial(journal_, ws, series);
  if (!next) {
    prompter.Message(parent, Q(wentOut + ", and no number of its series is free."));
    return false;
  }
  if (!prompter.YesNo(parent, Q(wentOut + "; the next free one is " + *next + ".\n\nStart from " +
                                *next + "?")))
    return false;
  kvx::SetSerialHexText(ws, *next);
  kvx::SerialNo2Memory(ws);
  return true;
}

bool DesktopJournal::ResumeQtp(kvx::Workspace& ws, const std::string& series, long& firstRecord,
                               Prompter& prompter, QWidget* parent) {
  if (!ws.QtpReadFile) return true;
  // The file is at its start: read on to the record after the last one used.
  const long last = journal_.LastRecordUsed(series);
  for (long record = 1; record <= last + 1; ++record) {
    const std::string message = kvx::ReadSerialData(ws);
    if (!message.empty() || ws.QtpEndSeen) {
      prompter.Message(parent, Q(message.empty() ? "Every record of the QTP file went out already."
                                                 : message));
      return false;
    }
  }
  firstRecord = last + 1;
  kvx::SerialNo2Memory(ws);
  return true;
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
