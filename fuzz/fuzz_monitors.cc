// Every monitor's line handling: random protocol bytes, through the real
// section handler and protocol scan, over an in-memory file. No crash; every
// finding record has seven fields, the first the section's; and the pass
// that filters its lines finds what a pass handed every line finds.
//
// The sections are the catalogue's: every row the frame's handler runs.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/SectionCatalogue.h"
#include "fuzz/Fail.h"
#include "monitors/frame/ProtocolScan.h"
#include "state/ProgramState.h"
#include "support/MemoryEnv.h"
#include "support/Records.h"

namespace spekolar {

using spkfuzz::Fail;

namespace {

// The catalogue's sections that run monitors (LAUFWERK reads no protocol).
const std::vector<const SectionRow*>& Monitored() {
  static const std::vector<const SectionRow*> sections = [] {
    std::vector<const SectionRow*> rows;
    for (const SectionRow& row : SectionCatalogue()) {
      if (row.handler == nullptr) rows.push_back(&row);
    }
    return rows;
  }();
  return sections;
}

const char kLogDir[] = "C:\\log";
// The protocol's name chooses how some monitors read it: the markers of
// the terminal manager's files and the computation programs' block files.
const char* const kProtocols[] = {"C:\\data\\protocol.log", "C:\\data\\TERMCOMMLOG.log",
                                  "C:\\data\\termupl_neu.log", "C:\\data\\QUARDELIN.log"};

// One section pass over `data`; the findings protocol it wrote.
std::string Pass(const SectionRow& section, const char* protocol, const std::string& data,
                 const std::string& limits, size_t block, bool everyPiece) {
  spktest::MemoryEnv env;
  env.files[protocol] = data;
  platform::ScopedEnv scoped(&env);
  ResetProgramState();
  ProgramState& s = State();
  s.LogDirectory = kLogDir;
  s.RunProtocol.Open(kLogDir, "SPEKOLAR");
  s.FindingsProtocol.Open(kLogDir, "SPEKOLAR.TXT");
  s.Notifications.Open(kLogDir);
  MonitorSettingsRecord& m = s.MonitorSettings;
  m.Typ1 = "1";
  m.Typ2 = "2";
  m.Datei = protocol;
  m.Files[0] = protocol;
  m.Meldungstyp = "FENSTER";
  m.MinLaufzeit = limits.substr(0, limits.size() / 2);
  m.MaxLaufzeit = limits.substr(limits.size() / 2);
  ProtocolScan::HandEveryPieceForTesting(everyPiece);
  ProtocolScan::BlockSizeForTesting(block);
  RunSectionHandler(section, m);
  ProtocolScan::HandEveryPieceForTesting(false);
  ProtocolScan::BlockSizeForTesting(0);
  std::string findings = env.files[CString(kLogDir).str() + "\\SPEKOLAR.TXT"];
  ResetProgramState();
  return findings;
}

}  // namespace

}  // namespace spekolar

using namespace spekolar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 2) return 0;
  const std::vector<const SectionRow*>& monitored = Monitored();
  const SectionRow& section = *monitored[bytes[0] % monitored.size()];
  // The rest of byte 0: the block size of the reads, from one byte up.
  static const size_t kBlocks[] = {1, 3, 64, 999, 1000, 1001, 4096};
  const size_t block = kBlocks[bytes[0] / monitored.size() % std::size(kBlocks)];
  // Byte 1: how many of the next bytes are MinLaufzeit and MaxLaufzeit, and
  // the protocol's name.
  const size_t limitBytes = std::min<size_t>(bytes[1] % 9, size - 2);
  const char* protocol = kProtocols[bytes[1] / 9 % std::size(kProtocols)];
  // Configured values are single trimmed lines. A double quote is left
  // out too: a value that begins or ends with one stands next to a
  // separator as '";' or ';"', which the record format cannot tell from a
  // protected semicolon. (MinLaufzeit and MaxLaufzeit are numbers; the
  // monitors' own texts never begin or end so.)
  std::string limits(reinterpret_cast<const char*>(bytes + 2), limitBytes);
  for (char& c : limits) {
    if (c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '"') c = '0';
  }
  const std::string data(reinterpret_cast<const char*>(bytes + 2 + limitBytes), size - 2 - limitBytes);

  const std::string findings = Pass(section, protocol, data, limits, block, false);
  for (size_t at = 0; at < findings.size();) {
    size_t end = findings.find('\n', at);
    if (end == std::string::npos) Fail("a record without its line end");
    const std::string line = findings.substr(at, end - at);
    // "dd.mm.yyyy hh:mm:ss;" and the record.
    if (line.size() < 20 || line.compare(0, 20, "07.12.2026 23:30:00;") != 0) Fail("a record without its stamp");
    const std::vector<std::string> fields = spktest::RecordFields(line.substr(20));
    if (fields.size() != 7) Fail("a record without seven fields");
    if (fields[0] != section.key) Fail("a record of another section");
    at = end + 1;
  }
  if (Pass(section, protocol, data, limits, 4096, true) != findings) {
    Fail("the filtered pass differs from the plain one");
  }
  return 0;
}
