#include "monitors/frame/ProtocolScan.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "config/MonitorSettings.h"
#include "monitors/frame/FindingRecord.h"
#include "platform/LineReader.h"
#include "state/ProgramState.h"
#include "text/NeedleSet.h"

namespace spekolar {

namespace {
constexpr int kStampLength = 19;

bool& HandEveryPiece() {
  static bool on = false;
  return on;
}

size_t& BlockSize() {
  static size_t bytes = 0;
  return bytes;
}
}  // namespace

CString StampAt(const CString& text, const CString& date) {
  if (date.IsEmpty()) return CString();
  int pos = text.Find(date.view());
  if (pos < 0) return CString();
  return text.Mid(pos, kStampLength);
}

ProtocolScan::ProtocolScan(const SectionRow& section, MonitorSettingsRecord& settings,
                           MonitorType type, DateForm dateForm)
    : section_(section), settings_(settings), type_(type), dateForm_(dateForm) {}

ProtocolScan::~ProtocolScan() = default;

bool ProtocolScan::Run() {
  platform::Env* env = platform::GetEnv();
  startTime_ = env->Now();
  today_ = dateForm_(startTime_);
  date_ = today_;
  mode_ = Mode::kDated;
  WriteRunEntry(MonitorHeader(section_, type_));

  for (int slot = 0; slot < MonitorSettingsRecord::kFileSlots; ++slot) {
    settings_.Datei = settings_.Files[slot];
    if (settings_.Datei.IsEmpty()) return false;
    const CString entry = settings_.Datei;
    if (onEntry) onEntry(entry);

    std::vector<platform::FoundFile> matches = env->FindFiles(entry);
    if (matches.empty()) {
      WriteRunEntry("   Protokolldatei '" + entry + "' nicht gefunden.");
      if (State().Observer != nullptr) State().Observer->FileMissing(entry);
      continue;
    }
    for (const platform::FoundFile& match : matches) {
      checkedFileName_ = match.name;
      std::unique_ptr<platform::ReadableFile> file;
      if (env->OpenForRead(match.path, &file) != platform::Status::kOk || !file) {
        WriteRunEntry("   Protokolldatei '" + match.path + "' konnte nicht ge\xF6" "ffnet werden");
        if (State().Observer != nullptr) State().Observer->FileUnreadable(match.path);
        return false;
      }
      WriteRunEntry("  Bearbeiten Protokolldatei '" + match.path + "'");
      if (onFileOpened && !onFileOpened(match)) continue;

      platform::LineReader reader(
          std::move(file), BlockSize() != 0 ? BlockSize() : platform::LineReader::kDefaultBlockSize);
      reader_ = &reader;
      ReadLines(reader);
      if (onEndOfFile) onEndOfFile();
      reader_ = nullptr;
    }
  }
  return true;
}

void ProtocolScan::HandEveryPieceForTesting(bool on) { HandEveryPiece() = on; }

void ProtocolScan::BlockSizeForTesting(size_t bytes) { BlockSize() = bytes; }

void ProtocolScan::ReadLines(platform::LineReader& reader) {
  std::string_view piece;
  // One ScanLine for the whole file: Fill assigns into its texts, which keep
  // their capacity, so a line costs no allocation.
  ScanLine line;
  const bool every = HandEveryPiece();
  for (;;) {
    bool got;
    if (every || mode_ == Mode::kEvery || (mode_ == Mode::kAny && words_ == nullptr)) {
      got = reader.Next(&piece);
    } else if (mode_ == Mode::kDated) {
      got = date_.IsEmpty() ? reader.Next(&piece) : reader.NextContaining(date_.view(), &piece);
    } else {
      got = reader.NextContainingAny(*words_, &piece);
    }
    if (!got) return;
    Fill(piece, &line);
    if (onLine) onLine(line);
  }
}

FindingRecord ProtocolScan::Finding(CString text) const {
  FindingRecord record;
  record.section = section_.key;
  record.type = type_ == MonitorType::kRunTime ? settings_.Typ1 : settings_.Typ2;
  record.text = std::move(text);
  record.checkedFile = CheckedFileField(checkedFileName_);
  return record;
}

bool ProtocolScan::LastSkipped(CString* text) const {
  std::string_view piece;
  if (reader_ == nullptr || !reader_->LastSkipped(&piece)) return false;
  *text = CString(CString::Trimmed(piece));
  return true;
}

bool ProtocolScan::ReadLine(ScanLine* line) {
  if (reader_ == nullptr) return false;
  std::string_view piece;
  if (!reader_->Next(&piece)) return false;
  Fill(piece, line);
  return true;
}

namespace {
// Replaces the bytes of `to` by `from`, which must not lie in `to`; clear
// and append keep the capacity and skip the overlap handling of assign.
void SetText(std::string_view from, CString* to) {
  std::string& bytes = to->str();
  bytes.clear();
  bytes.append(from.data(), from.size());
}

uint64_t Load8(const char* at) {
  uint64_t v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

// Whether `text` begins with `needle`; a date key (8 to 16 bytes) is
// compared as two overlapping words instead of by a memcmp call.
bool StartsWith(std::string_view text, std::string_view needle) {
  const size_t n = needle.size();
  if (text.size() < n) return false;
  if (n >= 8 && n <= 16) {
    return Load8(text.data()) == Load8(needle.data()) &&
           Load8(text.data() + n - 8) == Load8(needle.data() + n - 8);
  }
  return std::memcmp(text.data(), needle.data(), n) == 0;
}

// The first occurrence of `needle` in `text`. A dated line begins with its
// date, so position 0 is tried before the search.
size_t FindNeedle(std::string_view text, std::string_view needle) {
  return StartsWith(text, needle) ? 0 : text.find(needle);
}
}  // namespace

void ProtocolScan::Fill(std::string_view piece, ScanLine* line) const {
  line->piece = piece;
  const std::string_view text = CString::Trimmed(piece);
  SetText(text, &line->text);
  // The same result as StampAt(line->text, date_), found in the view.
  size_t at = date_.IsEmpty() ? std::string_view::npos : FindNeedle(text, date_.view());
  line->dated = at != std::string_view::npos;
  if (line->dated) {
    SetText(text.substr(at, kStampLength), &line->stamp);
  } else {
    line->stamp.Empty();
  }
}

}  // namespace spekolar
