#include "protocol/Notification.h"

#include <memory>

#include "platform/Env.h"
#include "state/ProgramState.h"

namespace {

const int32_t kNotificationMaxSize = 1000000;

// A plain open for reading, as the product's own tools test for the file;
// no handle is kept between calls.
bool FileExists(const CString& path) {
  std::unique_ptr<platform::ReadableFile> file;
  return platform::GetEnv()->OpenForRead(path, &file) == platform::Status::kOk;
}

}  // namespace

bool WriteNotification(CString text) {
  ProgramState& s = State();
  if (!FileExists(s.NotificationPath)) {
    s.NotificationProtocol.Open(s.LogDirectory, "SPEKOLAR.NRT");
    s.NotificationProtocol.SetMaxSize(kNotificationMaxSize);
  }
  text.Trim();
  s.NotificationProtocol.WriteText(text, false, false);
  return true;
}

bool WriteMailText(CString text) {
  ProgramState& s = State();
  text.Trim();
  if (!FileExists(s.MailTextPath)) {
    // The file is about to be created: it starts with the two address lines.
    s.MailTextProtocol.Open(s.LogDirectory, "SPEKOLAR.EML");
    s.MailTextProtocol.SetMaxSize(kNotificationMaxSize);
    s.MailTextProtocol.WriteText(s.TenantRow.MNDEML, false, false);
    s.MailTextProtocol.WriteText(s.MailRecipient, false, false);
  } else if (s.MailTextProtocol.LogPath().IsEmpty()) {
    // A file left over from an earlier run that could not be moved aside:
    // append to it rather than lose the line while the mail script still
    // runs. It already carries its address lines.
    s.MailTextProtocol.Open(s.LogDirectory, "SPEKOLAR.EML");
    s.MailTextProtocol.SetMaxSize(kNotificationMaxSize);
  }
  s.MailTextProtocol.WriteText(text, false, false);
  s.MailTextWritten = true;
  return true;
}
