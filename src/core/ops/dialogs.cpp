// The progress dialogs as they open, before their worker writes a line.
#include "core/ops/workers.h"

namespace kvx {

namespace {
const ControlSpec kOk{"Button1", "OK"};
}  // namespace

const DialogSpec& BlankCheckDialog() {
  static const DialogSpec dialog{
      "BlankCheckForm", "Blank Check", "Blank Check",
      {{"Label1", "", false}, {"Label2", ""}, {"Label3", ""}, {"Label4", ""}, {"Label5", ""}},
      false, {kOk}, false};
  return dialog;
}

const DialogSpec& ReadDialog() {
  static const DialogSpec dialog{
      "ReadForm", "Read", "Read",
      {{"Label1", ""}, {"Label2", ""}, {"Label3", ""}, {"EEInfo", "", false}},
      true, {kOk}, false};
  return dialog;
}

const DialogSpec& ProgramMemoryDialog() {
  static const DialogSpec dialog{
      "ProgramMemoryForm", "Program Memory", "Program memory",
      {{"Label1", "Program....."}, {"Label2", "0000"}},
      false, {kOk}, false};
  return dialog;
}

const DialogSpec& ProgramOptionDialog() {
  static const DialogSpec dialog{
      "ProgramOptionForm", "Program OPTION", "OPTION",
      {{"Label1", "Programming....."}},
      false, {kOk}, false};
  return dialog;
}

const DialogSpec& ProgramIdDialog() {
  static const DialogSpec dialog{
      "ProgramIDForm", "Program ID Checksum", "ID and Checksum",
      {{"Label1", "Programming....."}, {"Label2", ""}},
      false, {kOk}, false};
  return dialog;
}

const DialogSpec& VerifyDialog() {
  static const DialogSpec dialog{
      "VerifyForm", "Verify", "Verify",
      {{"Label2", "Verify ......"},
       {"Label3", "IC=0000 , Buffer=0000", false},
       {"Label4", ""},
       {"Label5", ""},
       {"EEInfo", "", false}},
      false, {kOk}, false};
  return dialog;
}

const DialogSpec& ProgramEepromDialog() {
  static const DialogSpec dialog{
      "ProgramEEPROM", "Program EEPROM", "Program EEPROM",
      {{"Label1", "Program..."}, {"Label2", ""}, {"Label3", "", false}},
      false, {{"ButtonOk", "OK"}}, true};
  return dialog;
}

const DialogSpec& ForceWriteDialog() {
  static const DialogSpec dialog{
      "ForceWriteForm", "Program Memory Without Check", "Program Memory Without Check",
      {{"Label1", ""}, {"Label2", ""}, {"Label3", ""}},
      true, {{"Button1", "Exit"}, {"Button2", "Continue"}}, true};
  return dialog;
}

}  // namespace kvx
