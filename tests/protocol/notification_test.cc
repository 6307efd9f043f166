#include "protocol/NotificationFiles.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace spekolar {

namespace {

using spktest::TempDir;

class NotificationTest : public ::testing::Test {
 protected:
  void SetUp() override { files_.Open(dir_.path().c_str()); }

  bool Mail(const char* text) {
    return files_.WriteMailText(text, "mandant@example.org", "admin@example.org");
  }

  TempDir dir_;
  NotificationFiles files_;
};

TEST_F(NotificationTest, MailTextStartsWithTheTwoAddressLinesOnce) {
  Mail("07.12.2026 10:00:00 - Jobcontroller-Fehler\n");
  Mail("  07.12.2026 10:00:01 - LuG-Fehler  ");
  EXPECT_EQ(dir_.ReadText("SPEKOLAR.EML"),
            "mandant@example.org\nadmin@example.org\n"
            "07.12.2026 10:00:00 - Jobcontroller-Fehler\n"
            "07.12.2026 10:00:01 - LuG-Fehler\n");
  EXPECT_TRUE(files_.MailTextWritten());
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.NRT"));
}

TEST_F(NotificationTest, DisplayNotificationsNeverTouchTheMailText) {
  files_.WriteNotification("a\nb\n");
  files_.WriteNotification("c");
  EXPECT_EQ(dir_.ReadText("SPEKOLAR.NRT"), "a\nb\nc\n");  // inner line ends stay
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.EML"));
  EXPECT_FALSE(files_.MailTextWritten());
}

TEST_F(NotificationTest, EmptyAddressesGiveEmptyHeaderLines) {
  files_.WriteMailText("x", CString(), CString());
  EXPECT_EQ(dir_.ReadText("SPEKOLAR.EML"), "\n\nx\n");
}

// A leftover e-mail text that could not be moved aside still receives the
// run's lines (without a second pair of address lines), since the mail
// script will send it.
TEST_F(NotificationTest, LeftoverMailTextIsAppendedTo) {
  dir_.Write("SPEKOLAR.EML", "old@x\nold@y\nold line\n");
  Mail("new line");
  EXPECT_EQ(dir_.ReadText("SPEKOLAR.EML"), "old@x\nold@y\nold line\nnew line\n");
  EXPECT_TRUE(files_.MailTextWritten());
}

}  // namespace

}  // namespace spekolar
