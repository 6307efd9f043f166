// A database server that stops answering (here: stopped with SIGSTOP, as a
// frozen machine or a hung server looks to its clients) ends the waiting
// step with its failure after the time-out, instead of holding the pass.
#include <signal.h>

#include <cstdlib>
#include <string>

#include "db/DbTestBed.h"
#include "messages/MessageEmission.h"

namespace spekolar::spktest {
namespace {

// Stops the server for its lifetime; it is continued whatever happens.
class FrozenServer {
 public:
  explicit FrozenServer(const MariaDbServer& server) : pid_(std::atoi(server.Get("PID").c_str())) {
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
  }
  ~FrozenServer() {
    if (pid_ > 0) ::kill(pid_, SIGCONT);
  }
  FrozenServer(const FrozenServer&) = delete;
  FrozenServer& operator=(const FrozenServer&) = delete;
  bool Stopped() const { return pid_ > 0; }

 private:
  int pid_;
};

class FrozenServerTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_FALSE(server_.Get("PID").empty()) << "the server's env file names no PID";
    State().Db->SetTimeoutsForTesting(1, 2);
  }
};

TEST_F(FrozenServerTest, ConnectFailsWithTheDriversDiagnostics) {
  CredentialsFile& file = State().Credentials;
  WriteCredentials(file, Defaults());
  State().Db->SetCredentials(file);
  int32_t result;
  {
    FrozenServer frozen(server_);
    ASSERT_TRUE(frozen.Stopped());
    result = State().Db->Connect();
  }
  EXPECT_EQ(result, 2013);
  EXPECT_EQ(State().Db->SqlState().str(), "08S01");
  EXPECT_NE(State().Db->MessageText().str().find("Lost connection"), std::string::npos)
      << State().Db->MessageText().str();
}

// The id query and the insert of a message both wait for the server: each
// gives up after the time-out, and the lost row is reported.
TEST_F(FrozenServerTest, AnInsertFailsAndLeavesItsEntry) {
  ConnectProgramSession();
  State().Db->SetTimeoutsForTesting(1, 2);
  ConnectProgramSession();
  TempDir logDir;
  State().RunProtocol.Open(logDir.path(), "SPEKOLAR");
  int result;
  {
    FrozenServer frozen(server_);
    ASSERT_TRUE(frozen.Stopped());
    result = StoreFindingMessage("t", "m", "d");
  }
  EXPECT_NE(result, 0);
  EXPECT_NE(result, 1);
  const std::string log = logDir.Read("SPEKOLAR.log");
  // The id query gave up after the time-out, and took the connection with
  // it: the insert finds none (MariaDB's driver: native 0, state 08003).
  const std::string entry = "Fehler beim InsertMessage:\n" +
                            std::to_string(State().Db->NativeError()) + "\n" +
                            State().Db->SqlState().str() + "\n";
  EXPECT_NE(log.find(entry), std::string::npos) << log;
}

}  // namespace
}  // namespace spekolar::spktest
