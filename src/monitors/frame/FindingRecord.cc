#include "monitors/frame/FindingRecord.h"

#include <algorithm>
#include <utility>

#include "messages/MessageEmission.h"
#include "state/ProgramState.h"

namespace spekolar {

CString FindingRecord::Join() const {
  return ProtectSemicolons(section) + ";" + ProtectSemicolons(type) + ";" +
         ProtectSemicolons(minimum) + ";" + ProtectSemicolons(maximum) + ";" +
         ProtectSemicolons(runTime) + ";" + text + ";" + ProtectSemicolons(checkedFile);
}

CString ProtectSemicolons(CString text) {
  text.Replace(";", "\";\"");
  return text;
}

CString CheckedFileField(const CString& fileName) {
  return CString("(gepr\xFC" "fte Datei: ") + fileName + ")";
}

CString WriteFindingRecord(CString record) {
  std::replace(record.str().begin(), record.str().end(), '\0', ' ');
  State().FindingsProtocol.WriteLine(record, true, false);
  if (State().Observer != nullptr) State().Observer->FindingReported(record);
  return record;
}

void WriteRunEntry(const CString& text) { State().RunProtocol.WriteLine(text, true, true); }

FindingReporter::FindingReporter(CString title, CString monitorName)
    : title_(std::move(title)), monitorName_(std::move(monitorName)) {}

void FindingReporter::Report(const FindingRecord& record) {
  const CString joined = record.Join();
  if (!IsNewFinding(joined.view())) return;
  const CString line = WriteFindingRecord(joined);
  if (!messageStored_) {
    StoreFindingMessage(title_, monitorName_, line);
    messageStored_ = true;
  }
  ++findingCount_;
  State().SectionFindingFlag = true;
}

void FindingReporter::RunMeasured(const MeasuredRun& run) const {
  if (PassObserver* observer = State().Observer) observer->RunMeasured(run);
}

void FindingReporter::TerminalNoAnswer(const CString& terminal) const {
  if (PassObserver* observer = State().Observer) observer->TerminalNoAnswer(terminal);
}

}  // namespace spekolar
