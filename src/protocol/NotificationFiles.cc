#include "protocol/NotificationFiles.h"

#include <memory>

#include "platform/Env.h"

namespace spekolar {

namespace {

const int32_t kNotificationMaxSize = 1000000;
const char kNotificationName[] = "SPEKOLAR.NRT";
const char kMailTextName[] = "SPEKOLAR.EML";

// A plain open for reading, as the product's own tools test for the file;
// no handle is kept between calls.
bool FileExists(const CString& path) {
  std::unique_ptr<platform::ReadableFile> file;
  return platform::GetEnv()->OpenForRead(path, &file) == platform::Status::kOk;
}

}  // namespace

void NotificationFiles::Open(const CString& logDirectory) {
  logDirectory_ = logDirectory;
  notification_.Open(logDirectory_, kNotificationName);
  notificationPath_ = logDirectory_ + "\\" + kNotificationName;
  mailTextPath_ = logDirectory_ + "\\" + kMailTextName;
}

bool NotificationFiles::WriteNotification(CString text) {
  if (!FileExists(notificationPath_)) {
    notification_.Open(logDirectory_, kNotificationName);
    notification_.SetMaxSize(kNotificationMaxSize);
  }
  text.Trim();
  notification_.WriteText(text, false, false);
  return true;
}

bool NotificationFiles::WriteMailText(CString text, const CString& tenantAddress,
                                      const CString& recipient) {
  text.Trim();
  if (!FileExists(mailTextPath_)) {
    // The file is about to be created: it starts with the two address lines.
    mailText_.Open(logDirectory_, kMailTextName);
    mailText_.SetMaxSize(kNotificationMaxSize);
    mailText_.WriteText(tenantAddress, false, false);
    mailText_.WriteText(recipient, false, false);
  } else if (mailText_.LogPath().IsEmpty()) {
    // A file left over from an earlier run that could not be moved aside:
    // append to it rather than lose the line while the mail script still
    // runs. It already carries its address lines.
    mailText_.Open(logDirectory_, kMailTextName);
    mailText_.SetMaxSize(kNotificationMaxSize);
  }
  mailText_.WriteText(text, false, false);
  mailTextWritten_ = true;
  return true;
}

}  // namespace spekolar
