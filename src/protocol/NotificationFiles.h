// The two notification files of a run.
//
// A section with findings appends one line either to the display
// notification file SPEKOLAR.NRT or to the e-mail text SPEKOLAR.EML, as its
// Meldungstyp says. The e-mail text begins with two address lines (the
// tenant's address, then the mail recipient), written only when the file
// does not exist yet; every WriteMailText marks the pass as having written
// e-mail text, which makes the run start the mail script at its end. Write
// failures are silent; FailedWrites counts them for the end of the pass.
#pragma once

#include "protocol/ProtocolFile.h"
#include "text/CString.h"

namespace spekolar {

class NotificationFiles {
 public:
  NotificationFiles() = default;
  virtual ~NotificationFiles() = default;

  // Points both files at the log directory: SPEKOLAR.NRT is opened as a
  // protocol file (a leftover one that could not be moved aside is then
  // appended to), SPEKOLAR.EML only when its first line is written. Touches
  // no file.
  void Open(const CString& logDirectory);

  // Full paths of SPEKOLAR.NRT and SPEKOLAR.EML; empty before Open.
  const CString& NotificationPath() const { return notificationPath_; }
  const CString& MailTextPath() const { return mailTextPath_; }

  // Appends the trimmed text as one line to SPEKOLAR.NRT. Always true.
  bool WriteNotification(CString text);
  // Appends the trimmed text as one line to SPEKOLAR.EML, after the two
  // address lines `tenantAddress` and `recipient` when the file is new, and
  // marks e-mail text as written. Always true.
  bool WriteMailText(CString text, const CString& tenantAddress, const CString& recipient);

  // Whether e-mail text was written since construction or the last
  // ForgetMailText (the start of a pass).
  bool MailTextWritten() const { return mailTextWritten_; }
  void ForgetMailText() { mailTextWritten_ = false; }

  // Lines lost in either file, and the files themselves (their paths and
  // whether one was refused as a symbolic link).
  int FailedWrites() const { return notification_.FailedWrites() + mailText_.FailedWrites(); }
  const ProtocolFile& Notification() const { return notification_; }
  const ProtocolFile& MailText() const { return mailText_; }

 private:
  CString logDirectory_;
  CString notificationPath_;
  CString mailTextPath_;
  ProtocolFile notification_;  // SPEKOLAR.NRT
  ProtocolFile mailText_;      // SPEKOLAR.EML
  bool mailTextWritten_ = false;
};

}  // namespace spekolar
