#include "messages/MessageEmission.h"

#include "db/MessageRecord.h"
#include "platform/Env.h"
#include "platform/TimeText.h"
#include "state/ProgramState.h"

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

  return state.Db->InsertMessage(r);
}

}  // namespace

int StoreFindingMessage(CString title, CString monitorName, CString detail) {
  return StoreMessage(std::move(title), monitorName, "DEBUG", detail);
}

int StoreSectionMessage(CString title, CString monitorName) {
  return StoreMessage(std::move(title), monitorName, "NACHRICHTEN", CString());
}
