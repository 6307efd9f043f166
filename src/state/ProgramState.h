// Every program-wide object of a run, gathered in one place.
//
// The run has one thread and these objects live from start-up to process
// end. Parts of the program reach them through State(); tests call
// ResetProgramState() so each test starts from the state of a new process
// (protocol files not opened, flags clear, session unconnected).
#pragma once

#include <memory>

#include "config/CredentialsFile.h"
#include "config/MonitorSettings.h"
#include "db/DbSession.h"
#include "db/MessageRecord.h"
#include "db/TenantRow.h"
#include "protocol/ProtocolFile.h"
#include "text/CString.h"

struct ProgramState {
  ProtocolFile RunProtocol;           // SPEKOLAR.log
  ProtocolFile FindingsProtocol;      // SPEKOLAR.TXT
  ProtocolFile NotificationProtocol;  // SPEKOLAR.NRT
  ProtocolFile MailTextProtocol;      // SPEKOLAR.EML

  CString LogDirectory;
  CString NotificationPath;
  CString MailTextPath;
  CString ConfigFilePath;
  CString MailRecipient;
  bool MailTextWritten = false;

  MonitorSettingsRecord MonitorSettings;
  bool SectionFindingFlag = false;
  // Name without folder of the protocol file being read; field 7 of every
  // finding record.
  CString CheckedFileName;

  TenantRowRecord TenantRow;
  CredentialsFile Credentials;
  // Held by pointer so that a reset releases the connection.
  std::unique_ptr<DbSession> Db = std::make_unique<DbSession>();
  MessageRecord MessageBuffer{};
};

ProgramState& State();
void ResetProgramState();
