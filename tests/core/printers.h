// How GoogleTest prints the core's values when an expectation on them fails: by name
// ("Journal::ReserveResult::Used", "LinkResult::Timeout (8)", a port choice's name and device)
// rather than as a dump of their bytes. Found by argument-dependent lookup, so every test file
// that compares one of these types must see this header (the test support headers include it).
#pragma once

#include <ostream>
#include <string_view>

#include "core/link/port_list.h"
#include "core/link/progress.h"
#include "core/link/writer_link.h"
#include "core/ops/operation.h"
#include "core/production/journal.h"
#include "core/production/run_start.h"

namespace kvx {

inline void PrintTo(OpOutcome outcome, std::ostream* os) {
  std::string_view name = "?";
  switch (outcome) {
    case OpOutcome::Ok: name = "Ok"; break;
    case OpOutcome::ChipFailed: name = "ChipFailed"; break;
    case OpOutcome::LinkFailed: name = "LinkFailed"; break;
    case OpOutcome::NoChip: name = "NoChip"; break;
    case OpOutcome::Refused: name = "Refused"; break;
    case OpOutcome::Stopped: name = "Stopped"; break;
  }
  *os << "OpOutcome::" << name;
}

// The journal's own word for it, as `kvxw journal` shows it.
inline void PrintTo(PassOutcome outcome, std::ostream* os) {
  *os << "PassOutcome \"" << OutcomeText(outcome) << '"';
}

inline void PrintTo(Journal::ReserveResult result, std::ostream* os) {
  std::string_view name = "?";
  switch (result) {
    case Journal::ReserveResult::Reserved: name = "Reserved"; break;
    case Journal::ReserveResult::Used: name = "Used"; break;
    case Journal::ReserveResult::ValueUsed: name = "ValueUsed"; break;
    case Journal::ReserveResult::Failed: name = "Failed"; break;
  }
  *os << "Journal::ReserveResult::" << name;
}

inline void PrintTo(RunStart::Verdict verdict, std::ostream* os) {
  using Verdict = RunStart::Verdict;
  std::string_view name = "?";
  switch (verdict) {
    case Verdict::StartHere: name = "StartHere"; break;
    case Verdict::FirstNumberUsed: name = "FirstNumberUsed"; break;
    case Verdict::QtpRecordsUsed: name = "QtpRecordsUsed"; break;
    case Verdict::SeriesUsedUp: name = "SeriesUsedUp"; break;
    case Verdict::JournalUnreadable: name = "JournalUnreadable"; break;
  }
  *os << "RunStart::Verdict::" << name;
}

// With the number the Writer check prints.
inline void PrintTo(LinkResult result, std::ostream* os) {
  std::string_view name = "?";
  switch (result) {
    case LinkResult::Stopped: name = "Stopped"; break;
    case LinkResult::NoDevice: name = "NoDevice"; break;
    case LinkResult::AdapterError: name = "AdapterError"; break;
    case LinkResult::WriterType1: name = "WriterType1"; break;
    case LinkResult::WriterType2: name = "WriterType2"; break;
    case LinkResult::WriterAny: name = "WriterAny"; break;
    case LinkResult::WrongWriter: name = "WrongWriter"; break;
    case LinkResult::BadReply: name = "BadReply"; break;
    case LinkResult::Timeout: name = "Timeout"; break;
    case LinkResult::WriteFail: name = "WriteFail"; break;
    case LinkResult::Done: name = "Done"; break;
    case LinkResult::Ready: name = "Ready"; break;
    case LinkResult::WriteOk: name = "WriteOk"; break;
  }
  *os << "LinkResult::" << name << " (" << LinkResultNumber(result) << ')';
}

inline void PrintTo(WriterLink::Wait wait, std::ostream* os) {
  std::string_view name = "?";
  switch (wait) {
    case WriterLink::Wait::Ok: name = "Ok"; break;
    case WriterLink::Wait::Timeout: name = "Timeout"; break;
    case WriterLink::Wait::Stopped: name = "Stopped"; break;
  }
  *os << "WriterLink::Wait::" << name;
}

inline void PrintTo(Transfer what, std::ostream* os) {
  std::string_view name = "?";
  switch (what) {
    case Transfer::ProgramMemoryWrite: name = "ProgramMemoryWrite"; break;
    case Transfer::ProgramMemoryRead: name = "ProgramMemoryRead"; break;
    case Transfer::DeviceRecords: name = "DeviceRecords"; break;
  }
  *os << "Transfer::" << name;
}

inline void PrintTo(const PortChoice& port, std::ostream* os) {
  *os << "{\"" << port.name << "\" -> \"" << port.device << "\"}";
}

}  // namespace kvx
