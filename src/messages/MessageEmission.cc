#include "messages/MessageEmission.h"

#include "db/DbSession.h"
#include "db/MessageRecord.h"
#include "platform/Env.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"

namespace spekolar {

namespace {

// The two kinds of message differ only in the category and the detail.
int StoreMessage(CString title, const CString& monitorName, const char* category,
                 const CString& detail) {
  ProgramState& state = State();
  const CString stamp = platform::Stamp14(platform::GetEnv()->Now());

  // On failure the id stays empty and the row is still inserted.
  CString uid;
  state.Db->MakeMessageUid(uid);

  title.TrimRight();
  const CString link = state.LogDirectory + "\\Spekolar.Txt";

  MessageRecord& r = state.MessageBuffer;
  r.Clear();
  r.MsgTnr = -1;
  MessageRecord::SetText(r.MsgTxt, title);
  MessageRecord::SetText(r.MsgLnk, link);
  MessageRecord::SetText(r.MsgMod, monitorName);
  MessageRecord::SetText(r.MsgSrc, "Spekolar.exe");
  MessageRecord::SetText(r.MsgSch, state.TenantRow.MNDSCH);
  MessageRecord::SetText(r.MsgCat, category);
  MessageRecord::SetText(r.MsgAdr, "SES");
  MessageRecord::SetText(r.MsgBer, "KORVANE");
  r.MsgPri = 0;
  MessageRecord::SetText(r.MsgTyp, "0");
  r.MsgVal = 1;
  MessageRecord::SetText(r.MsgDbg, detail);
  MessageRecord::SetText(r.MsgMnd, state.TenantRow.MNDNUM);
  MessageRecord::SetText(r.MsgLiz, state.TenantRow.MNDLIZ);
  MessageRecord::SetText(r.MsgTin, stamp);
  r.MsgSts = 0;
  MessageRecord::SetText(r.MsgErf, "KORVANE");
  MessageRecord::SetText(r.MsgUid, uid);

  const int result = state.Db->InsertMessage(r);
  if (state.Observer != nullptr) state.Observer->MessageStored(result == 0);
  // Without a connection the run never got this far; there is no row to
  // lose (monitors tried on their own).
  if (result != 0 && result != 1 && state.Db->Connected()) {
    // The row is lost for good (the finding itself stands in SPEKOLAR.TXT);
    // say so where the operator looks, with the server's own words.
    CString entry;
    entry.Format("Fehler beim InsertMessage:\n%ld\n%s\n%s\n", static_cast<long>(state.Db->NativeError()),
                 state.Db->SqlState().c_str(), state.Db->MessageText().c_str());
    state.RunProtocol.WriteLine(entry, true, true);
  }
  return result;
}

}  // namespace

int StoreFindingMessage(CString title, CString monitorName, CString detail) {
  return StoreMessage(std::move(title), monitorName, "DEBUG", detail);
}

int StoreSectionMessage(CString title, CString monitorName) {
  return StoreMessage(std::move(title), monitorName, "NACHRICHTEN", CString());
}

}  // namespace spekolar
