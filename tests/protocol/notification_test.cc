#include "protocol/Notification.h"

#include <gtest/gtest.h>

#include "state/ProgramState.h"
#include "support/LogDirectory.h"
#include "support/TempDir.h"

namespace {

using spktest::TempDir;

class NotificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetProgramState();
    spktest::UseLogDirectory(dir_.path());
    ProgramState& s = State();
    s.NotificationProtocol.Open(s.LogDirectory, "SPEKOLAR.NRT");
    s.TenantRow.MNDEML = "mandant@example.org";
    s.MailRecipient = "admin@example.org";
  }
  void TearDown() override { ResetProgramState(); }

  TempDir dir_;
};

TEST_F(NotificationTest, MailTextStartsWithTheTwoAddressLinesOnce) {
  WriteMailText("07.12.2026 10:00:00 - Jobcontroller-Fehler\n");
  WriteMailText("  07.12.2026 10:00:01 - LuG-Fehler  ");
  EXPECT_EQ(dir_.ReadText("SPEKOLAR.EML"),
            "mandant@example.org\nadmin@example.org\n"
            "07.12.2026 10:00:00 - Jobcontroller-Fehler\n"
            "07.12.2026 10:00:01 - LuG-Fehler\n");
  EXPECT_TRUE(State().MailTextWritten);
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.NRT"));
}

TEST_F(NotificationTest, DisplayNotificationsNeverTouchTheMailText) {
  WriteNotification("a\nb\n");
  WriteNotification("c");
  EXPECT_EQ(dir_.ReadText("SPEKOLAR.NRT"), "a\nb\nc\n");  // inner line ends stay
  EXPECT_FALSE(dir_.Exists("SPEKOLAR.EML"));
  EXPECT_FALSE(State().MailTextWritten);
}

TEST_F(NotificationTest, EmptyAddressesGiveEmptyHeaderLines) {
  State().TenantRow.MNDEML.Empty();
  State().MailRecipient.Empty();
  WriteMailText("x");
  EXPECT_EQ(dir_.ReadText("SPEKOLAR.EML"), "\n\nx\n");
}

// A leftover e-mail text that could not be moved aside still receives the
// run's lines (without a second pair of address lines), since the mail
// script will send it.
TEST_F(NotificationTest, LeftoverMailTextIsAppendedTo) {
  dir_.Write("SPEKOLAR.EML", "old@x\nold@y\nold line\n");
  WriteMailText("new line");
  EXPECT_EQ(dir_.ReadText("SPEKOLAR.EML"), "old@x\nold@y\nold line\nnew line\n");
  EXPECT_TRUE(State().MailTextWritten);
}

}  // namespace
