#include "gamedata/ZU_PakSystem.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/BufferManager.h"
#include "common/Crc32.h"
#include "common/FileUtils.h"
#include "common/Inflate.h"
#include "common/Prompt.h"
#include "common/ScopeExit.h"
#include "common/Strings.h"
#include "gamedata/LineEncryption.h"

#define ZUP_CHECK(cond, ...)                                              \
  do {                                                                    \
    if (!(cond)) RaiseAssertion({__VA_ARGS__}, "ZU_PakSystem", __LINE__); \
  } while (0)

namespace {

constexpr uint16_t kStringProgress = 19;
constexpr uint16_t kStringHeader = 20;

std::string KeyOf(const std::string& Name) { return LowerAscii(Name); }

bool ReadAt(platform::File& f, uint64_t Offset, void* Buffer, uint32_t Count) {
  return f.Seek(static_cast<int64_t>(Offset), platform::SeekOrigin::kBegin) && f.Read(Buffer, Count) == Count;
}

bool IsAlphaNumeric(uint8_t c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int16_t SampleAt(const uint8_t* p) { return static_cast<int16_t>(GetU16(p)); }

}  // namespace

const int16_t kAdpcmStepTable[89] = {
    7,    8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,   28,
    31,   34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,  118,
    130,  143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,  494,
    544,  598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878, 2066,
    2272, 2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845, 8630,
    9493, 10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int8_t kAdpcmIndexTable[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};

// ---------------------------------------------------------------------------
// Records and the directory

void TArchiveEntry::WriteTo(uint8_t* Out) const {
  std::memset(Out, 0, kArchiveEntrySize);
  PutU16(Out, Marker);
  Out[2] = Kind;
  PutU32(Out + 4, Date);
  PutU32(Out + 8, StoredSize);
  PutU32(Out + 12, OrigSize);
  PutU32(Out + 16, Offset);
  size_t n = std::min<size_t>(Name.size(), kArchiveNameMax);
  Out[24] = static_cast<uint8_t>(n);
  std::memcpy(Out + 25, Name.data(), n);
}

const TArchiveEntry* TArchiveDirectory::Find(const std::string& Name) const {
  auto it = index_.find(KeyOf(Name));
  return it == index_.end() ? nullptr : &*it->second;
}

TArchiveEntry* TArchiveDirectory::Find(const std::string& Name) {
  auto it = index_.find(KeyOf(Name));
  return it == index_.end() ? nullptr : &*it->second;
}

void TArchiveDirectory::Append(const TArchiveEntry& Entry) {
  records_.push_back(Entry);
  index_.emplace(KeyOf(Entry.Name), std::prev(records_.end()));
}

bool TArchiveDirectory::Remove(const std::string& Name) {
  auto it = index_.find(KeyOf(Name));
  if (it == index_.end()) return false;
  records_.erase(it->second);
  index_.erase(it);
  return true;
}

void TArchiveDirectory::Clear() {
  index_.clear();
  records_.clear();
}

void TFileMembers::ForEach(TFunctionRef<void(uint32_t)> Callback) {
  for (uint32_t i = 0; i < items_.size(); ++i) Callback(i);
}

uint32_t TFileMembers::OrigSize(uint32_t Index) {
  platform::File f;
  if (!f.Open(items_[Index].Source, platform::kAccessRead, platform::kShareRead,
              platform::FileDisposition::kOpenExisting)) {
    return 0;
  }
  int64_t size = f.Size();
  return size < 0 ? 0 : static_cast<uint32_t>(size);
}

std::optional<TBytes> TFileMembers::Read(uint32_t Index) {
  try {
    return LoadWholeFile(items_[Index].Source);
  } catch (const ESetupError&) {
    return std::nullopt;
  }
}

// ---------------------------------------------------------------------------
// Member forms

void ScrambleStream(uint8_t* Bytes, size_t Length) {
  if (Length <= 4) return;
  PutU32(Bytes, GetU32(Bytes) ^ Crc32(Bytes + 4, Length - 4));
}

TBytes CompressMember(const uint8_t* Data, size_t Size) {
  uLongf bound = compressBound(static_cast<uLong>(Size));
  TBytes out(bound);
  static const uint8_t kNothing = 0;
  ZUP_CHECK(compress2(out.data(), &bound, Size ? Data : &kNothing, static_cast<uLong>(Size), 9) == Z_OK,
            "AddMember: zlib");
  out.resize(bound);
  ScrambleStream(out.data(), out.size());
  return out;
}

void FindLoopPoints(const uint8_t* Data, size_t Size, uint32_t DataSize, TSoundForm& Form) {
  uint32_t rate = GetU32(Data + 24);
  uint32_t bytesPerSecond = GetU32(Data + 28);
  uint64_t bytesPerSample = rate ? bytesPerSecond / rate : 0;
  bool haveStart = false, haveEnd = false;
  uint64_t pos = 44ull + DataSize;
  while (pos < Size) {
    if (pos + 8 > Size) break;  // the id reads as "xxxx": the walk ends
    const uint8_t* chunk = Data + pos;
    uint32_t chunkSize = GetU32(chunk + 4);
    if (std::memcmp(chunk, "cue ", 4) == 0 && pos + 12 <= Size) {
      uint32_t count = GetU32(chunk + 8);
      uint64_t record = pos + 12;
      for (uint32_t i = 0; i < count && record + 24 <= Size; ++i, record += 24) {
        auto value = static_cast<int32_t>(static_cast<uint32_t>(bytesPerSample * GetU32(Data + record + 4)));
        if (i == 0) {
          Form.LoopStart = value;
          haveStart = true;
        } else if (i == 1) {
          Form.LoopEnd = value;
          haveEnd = true;
        }
      }
    }
    pos += 8ull + chunkSize;
  }
  if (haveStart && haveEnd) {
    if (Form.LoopStart > Form.LoopEnd) std::swap(Form.LoopStart, Form.LoopEnd);
  } else if (haveStart) {
    Form.LoopEnd = static_cast<int32_t>(DataSize);
    Form.LoopToEnd = true;
  } else {
    Form.LoopStart = Form.LoopEnd = -1;
  }
}

namespace {

uint8_t EncodeSample(int32_t Sample, TAdpcmState& State) {
  int32_t step = kAdpcmStepTable[State.Index];
  int32_t diff = Sample - State.Predictor;
  uint8_t sign = 0;
  if (diff < 0) {
    sign = 8;
    diff = -diff;
  }
  uint8_t code = 0;
  int32_t delta = step >> 3;
  if (diff >= step) {
    code = 4;
    diff -= step;
    delta += step;
  }
  step >>= 1;
  if (diff >= step) {
    code |= 2;
    diff -= step;
    delta += step;
  }
  step >>= 1;
  if (diff >= step) {
    code |= 1;
    delta += step;
  }
  State.Predictor += sign ? -delta : delta;
  State.Predictor = std::clamp(State.Predictor, -32768, 32767);
  code |= sign;
  State.Index = std::clamp(State.Index + kAdpcmIndexTable[code], 0, 88);
  return code;
}

// Count samples, taking every Stride-th from Samples, into Count / 2 bytes
// (a last odd code with low bits 0).
void EncodeChannel(const int16_t* Samples, uint32_t Count, uint32_t Stride, TAdpcmState& State, uint8_t* Out) {
  for (uint32_t i = 0; i < Count; i += 2) {
    uint8_t high = EncodeSample(Samples[i * Stride], State);
    uint8_t low = i + 1 < Count ? EncodeSample(Samples[(i + 1) * Stride], State) : 0;
    *Out++ = static_cast<uint8_t>((high << 4) | low);
  }
}

}  // namespace

void EncodeAdpcmBlock(const int16_t* Samples, uint32_t Count, bool Stereo, TAdpcmState States[2], uint8_t* Out) {
  if (!Stereo) {
    EncodeChannel(Samples, Count, 1, States[0], Out);
    return;
  }
  ZUP_CHECK(Count % 2 == 0, "Assertion failure");
  EncodeChannel(Samples, Count / 2, 2, States[0], Out);
  EncodeChannel(Samples + 1, Count / 2, 2, States[1], Out + Count / 4);
}

std::optional<TSoundForm> EncodeSound(const std::string& Name, const uint8_t* Data, size_t Size) {
  if (Size < 44 || std::memcmp(Data, "RIFF", 4) != 0 || std::memcmp(Data + 8, "WAVE", 4) != 0 ||
      std::memcmp(Data + 12, "fmt ", 4) != 0 || GetU32(Data + 16) != 16 || std::memcmp(Data + 36, "data", 4) != 0 ||
      static_cast<int32_t>(GetU32(Data + 40)) <= 0) {
    return std::nullopt;
  }
  uint32_t dataSize = GetU32(Data + 40);
  // A data chunk that runs past the file is not a sound this form can hold.
  if (44ull + dataSize > Size) return std::nullopt;
  TSoundForm form;
  FindLoopPoints(Data, Size, dataSize, form);
  bool stereo = GetU16(Data + 22) != 1;
  form.Adpcm = GetU16(Data + 34) == 16 && form.LoopStart == -1 && form.LoopEnd == -1 &&
               Name.find("\\Effects\\") == std::string::npos;
  uint32_t blocks = 0;
  uint32_t payload = dataSize;
  if (form.Adpcm) {
    dataSize -= dataSize % (stereo ? 8 : 4);
    blocks = (dataSize + kAdpcmBlockBytes - 1) / kAdpcmBlockBytes;
    payload = dataSize / 4 + 6 * blocks;
  }
  TBytes& out = form.Bytes;
  out.assign(kSoundHeaderSize + static_cast<size_t>(payload) + 1, 0);
  out.back() = 255;  // guard: the encoder must stop before it
  std::memcpy(out.data(), Data, 44);
  PutU32(out.data() + 40, dataSize);
  out[44] = form.Adpcm ? 1 : 0;
  PutU32(out.data() + 45, static_cast<uint32_t>(form.LoopStart));
  PutU32(out.data() + 49, static_cast<uint32_t>(form.LoopEnd));
  out[53] = form.LoopToEnd ? 1 : 0;
  PutU32(out.data() + 54, payload);
  if (!form.Adpcm) {
    std::memcpy(out.data() + kSoundHeaderSize, Data + 44, dataSize);
  } else {
    TAdpcmState states[2];
    std::vector<int16_t> samples(kAdpcmBlockBytes / 2);
    for (uint32_t b = 0; b < blocks; ++b) {
      uint32_t bytes = std::min(kAdpcmBlockBytes, dataSize - b * kAdpcmBlockBytes);
      const uint8_t* source = Data + 44 + static_cast<size_t>(b) * kAdpcmBlockBytes;
      uint32_t count = bytes / 2;
      for (uint32_t i = 0; i < count; ++i) samples[i] = SampleAt(source + 2 * i);
      uint8_t* codes = out.data() + kSoundHeaderSize + static_cast<size_t>(b) * (kAdpcmBlockBytes / 4 + 6);
      EncodeAdpcmBlock(samples.data(), count, stereo, states, codes);
      uint8_t* state = codes + bytes / 4;
      for (int ch = 0; ch < 2; ++ch) {
        bool used = ch == 0 || stereo;
        PutU16(state + 3 * ch, used ? static_cast<uint16_t>(states[ch].Predictor) : 0);
        state[3 * ch + 2] = used ? static_cast<uint8_t>(states[ch].Index) : 0;
      }
    }
  }
  ZUP_CHECK(out.back() == 255, "Assertion failure");
  out.pop_back();
  return form;
}

// ---------------------------------------------------------------------------
// The archive

TPakSystem::TPakSystem() {
  OnExit = [](uint32_t Code) { platform::ExitProcess(Code); };
}

std::string TPakSystem::ArchivePathIn(const std::string& InstallDir, const std::string& Name) {
  return InstallDir.empty() ? Name : Concat({InstallDir, "\\", Name});
}

std::string TPakSystem::Message(int Number) const {
  const std::string quoted = Concat({"\"", ArchivePath, "\""});
  switch (Number) {
    case 1:
      return Concat({"Unable to modify ", quoted, " attributes"});
    case 2:
      return Concat({"File not found: ", quoted, "."});
    case 3:
      return Concat({"Unable to modify file:", quoted, ", file may be in use or drive is write protected..."});
    case 4:
      return Concat({"File ", ArchivePath, " has corrupted header."});
    case 5:
      return "Error Incorrect Password\rFile: " + ArchiveName;
    // The update's undo journal keeps the old end of the archive, so a full
    // disk loses nothing: the archive is put back now, or when next opened.
    case 7:
      return Concat({"Disk full: ", ArchivePath, " could not be updated. It was put back as it was; nothing is lost."});
    default:
      return Concat({"Disk full: ", ArchivePath, " could not be updated. It is put back as it was from ", ArchivePath,
                     kUndoSuffix, " when it is next opened; nothing is lost."});
  }
}

void TPakSystem::FatalExit(const std::string& Text) {
  ArchiveHandle.Close();
  Directory.Clear();
  Prompt().FatalAppExit(Text);
  throw EArchiveFatal(Text);
}

void TPakSystem::CloseArchive() {
  ArchiveHandle.Close();
  Directory.Clear();
  DirectoryOffset = 0;
  WritePosition = 0;
}

void TPakSystem::OpenArchive(const std::string& Path) {
  CloseArchive();
  ArchivePath = Path;
  Restored = false;
  for (;;) {
    platform::SetLastError(platform::kErrorSuccess);
    std::string text;
    uint32_t attributes = platform::GetFileAttributes(Path);
    bool readOnly = attributes != platform::kInvalidAttributes && (attributes & platform::kAttributeReadOnly) &&
                    !(attributes & platform::kAttributeDirectory);
    if (readOnly && !platform::SetFileAttributes(Path, platform::kAttributeNormal)) {
      text = Message(1);
    } else if (ArchiveHandle.Open(Path, platform::kAccessReadWrite, platform::kShareRead,
                                  platform::FileDisposition::kOpenExisting)) {
      break;
    } else {
      uint32_t error = platform::LastError();
      bool missing = error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
      text = Message(missing ? 2 : 3);
    }
    if (ShowMessage(text, "Error", platform::kMbRetryCancel | platform::kMbIconWarning) != platform::kIdRetry) {
      OnExit(0);
      throw EArchiveFatal(text);
    }
  }
  undo_ = std::make_unique<TUndoJournal>(ArchiveHandle, Path + kUndoSuffix);
  undo_->Keeper = Keeper;
  {
    // An end that cannot be put back leaves nothing open.
    TScopeExit close([this] { CloseArchive(); });
    Restored = TUndoJournal::Recover(ArchiveHandle, undo_->Path(), {});
    close.Release();
  }
  ReadDirectory(ReadTrailer());
}

uint32_t TPakSystem::ReadTrailer() {
  ExtraInfo = TExtraInfo{};
  TrailerForm = TTrailerForm::kNone;
  TrailerTag.clear();
  SeedA = SeedB = 0;
  int64_t end = ArchiveHandle.Size();
  if (end < 0) FatalExit(Message(4));
  std::memset(OldTrailer, 0, sizeof(OldTrailer));
  if (end >= static_cast<int64_t>(kOldTrailerSize) &&
      ReadAt(ArchiveHandle, static_cast<uint64_t>(end) - kOldTrailerSize, OldTrailer, kOldTrailerSize) &&
      std::memcmp(OldTrailer, "ZUP2", 4) == 0) {
    size_t n = 0;
    while (n < 9 && IsAlphaNumeric(OldTrailer[4 + n])) ++n;
    ExtraInfo.Password.assign(reinterpret_cast<const char*>(OldTrailer + 4), n);
    ExtraInfo.HasPassword = !ExtraInfo.Password.empty();
    TrailerForm = TTrailerForm::kOld;
    return kOldTrailerSize;
  }
  int64_t found = -1;
  for (int64_t i = 0; i <= 50 && end - i - 6 >= 0; ++i) {
    if (ReadAt(ArchiveHandle, static_cast<uint64_t>(end - i - 6), TrailerRecord, 6) &&
        std::memcmp(TrailerRecord, "ZUP3", 4) == 0) {
      found = i;
      break;
    }
  }
  if (found <= 0) return 0;
  TrailerForm = TTrailerForm::kCurrent;
  uint64_t extra = static_cast<uint64_t>(end - found);
  uint64_t available = static_cast<uint64_t>(found);
  uint8_t tag[8];
  if (available >= 4 && ReadAt(ArchiveHandle, extra, tag, 4) &&
      (std::memcmp(tag, "EIH1", 4) == 0 || std::memcmp(tag, "EIH2", 4) == 0)) {
    TrailerTag.assign(reinterpret_cast<const char*>(tag), 4);
    bool official = TrailerTag == "EIH2";
    if (available < 8 || !ReadAt(ArchiveHandle, extra + 4, tag + 4, 4)) FatalExit(Message(4));
    SeedA = tag[4];
    SeedB = tag[5];
    uint16_t length = GetU16(tag + 6);
    if (8ull + length + (official ? 1 : 0) > available) FatalExit(Message(4));
    std::string cipher(length, '\0');
    if (length && !ReadAt(ArchiveHandle, extra + 8, cipher.data(), length)) FatalExit(Message(4));
    TQuarnEncryptionType quarn;
    quarn.SeedA = SeedA;
    quarn.SeedB = SeedB;
    try {
      ExtraInfo.Password = quarn.Decrypt(cipher);
    } catch (const ESetupError&) {
      FatalExit(Message(4));  // seeds whose keys are empty: no archive writes them
    }
    ExtraInfo.HasPassword = !ExtraInfo.Password.empty();
    uint8_t flag = 0;
    if (official && !ReadAt(ArchiveHandle, extra + 8 + length, &flag, 1)) FatalExit(Message(4));
    ExtraInfo.Official = flag != 0;
  }
  return static_cast<uint32_t>(found + 6);
}

void TPakSystem::ReadDirectory(uint32_t TrailerLength) {
  Directory.Clear();
  int64_t end = ArchiveHandle.Size();
  uint8_t header[kArchiveHeaderSize];
  if (end < static_cast<int64_t>(TrailerLength) + static_cast<int64_t>(kArchiveHeaderSize)) FatalExit(Message(4));
  uint64_t headerAt = static_cast<uint64_t>(end) - TrailerLength - kArchiveHeaderSize;
  if (!ReadAt(ArchiveHandle, headerAt, header, kArchiveHeaderSize)) FatalExit(Message(4));
  uint32_t packed = GetU32(header);
  uint32_t unpacked = GetU32(header + 4);
  uint32_t count = GetU32(header + 12);
  if (GetU32(header + 8) != kArchiveVersion || GetU32(header + 16) != 0 || packed > headerAt ||
      static_cast<uint64_t>(count) * kArchiveEntrySize != unpacked) {
    FatalExit(Message(4));
  }
  DirectoryOffset = headerAt - packed;
  TBytes stream(packed);
  if (packed && !ReadAt(ArchiveHandle, DirectoryOffset, stream.data(), packed)) FatalExit(Message(4));
  std::optional<TBytes> records = InflateExact(stream.data(), stream.size(), unpacked);
  if (!records) FatalExit(Message(4));
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* r = records->data() + static_cast<size_t>(i) * kArchiveEntrySize;
    if (r[24] > kArchiveNameMax) FatalExit(Message(4));
    TArchiveEntry e;
    e.Marker = GetU16(r);
    e.Kind = r[2];
    e.Date = GetU32(r + 4);
    e.StoredSize = GetU32(r + 8);
    e.OrigSize = GetU32(r + 12);
    e.Offset = GetU32(r + 16);
    e.Name.assign(reinterpret_cast<const char*>(r + 25), r[24]);
    Directory.Append(e);
  }
  WritePosition = DirectoryOffset;
}

std::string TPakSystem::MemberDamage() const {
  std::vector<const TArchiveEntry*> members;
  // Offset above, index into members below: sorted as plain numbers.
  std::vector<uint64_t> byOffset;
  for (const TArchiveEntry& e : Directory.Records()) {
    if (static_cast<uint64_t>(e.Offset) + e.StoredSize > DirectoryOffset) {
      return Concat({"member ", e.Name, " reaches into the directory"});
    }
    if (e.StoredSize == 0) continue;
    byOffset.push_back((uint64_t{e.Offset} << 32) | members.size());
    members.push_back(&e);
  }
  std::sort(byOffset.begin(), byOffset.end());
  for (size_t i = 1; i < byOffset.size(); ++i) {
    const TArchiveEntry& a = *members[static_cast<uint32_t>(byOffset[i - 1])];
    const TArchiveEntry& b = *members[static_cast<uint32_t>(byOffset[i])];
    // A duplicated member names the very bytes of its source: that is sound.
    if (a.Offset == b.Offset && a.StoredSize == b.StoredSize) continue;
    if (static_cast<uint64_t>(a.Offset) + a.StoredSize > b.Offset) {
      return Concat({"members ", a.Name, " and ", b.Name, " share bytes"});
    }
  }
  return {};
}

void TPakSystem::OpenForChange(const std::string& Path) {
  OpenArchive(Path);
  if (std::string damage = MemberDamage(); !damage.empty()) {
    FatalExit(Concat({"File \"", ArchivePath, "\" is damaged (", damage, "). It was not changed."}));
  }
}

std::optional<TBytes> TPakSystem::ReadStored(const TArchiveEntry& Entry) {
  if (static_cast<uint64_t>(Entry.Offset) + Entry.StoredSize > DirectoryOffset) return std::nullopt;
  TBytes bytes(Entry.StoredSize);
  uint64_t back = ArchiveHandle.Position();
  bool ok = Entry.StoredSize == 0 || ReadAt(ArchiveHandle, Entry.Offset, bytes.data(), Entry.StoredSize);
  ArchiveHandle.Seek(static_cast<int64_t>(back), platform::SeekOrigin::kBegin);
  if (!ok) return std::nullopt;
  return bytes;
}

void TPakSystem::CutAtDirectory() {
  // The old directory, header and trailer go to the undo journal first.
  int64_t end = ArchiveHandle.Size();
  ZUP_CHECK(end >= 0 && static_cast<uint64_t>(end) >= DirectoryOffset, "CutAtDirectory: directory offset");
  std::string failure;
  try {
    undo_->Begin({});
    undo_->Protect(DirectoryOffset, static_cast<uint64_t>(end) - DirectoryOffset);
  } catch (const ESetupError& e) {
    failure = e.what();
  }
  if (failure.empty() && (!ArchiveHandle.Seek(static_cast<int64_t>(DirectoryOffset), platform::SeekOrigin::kBegin) ||
                          !ArchiveHandle.Truncate())) {
    failure = "cannot cut it: " + platform::DescribeError(platform::LastError());
  }
  if (!failure.empty()) {
    // Nothing was cut: the journal is not needed.
    undo_->Commit();
    CloseArchive();
    RaiseSetupError({ArchivePath, " was not changed: ", failure});
  }
  WritePosition = DirectoryOffset;
}

bool TPakSystem::PutBackOldEnd() {
  try {
    undo_->Rollback();
    return true;
  } catch (const ESetupError&) {
    return false;
  }
}

void TPakSystem::AddMember(TArchiveMembers& Members, uint32_t Index) {
  std::string name = Members.Name(Index).substr(0, kArchiveNameMax);
  uint32_t size = Members.OrigSize(Index);
  std::optional<TBytes> data = Members.Read(Index);
  if (!data) RaiseSetupError({"Unable to read ", name, " for ", ArchiveName});
  TBytes stored;
  uint8_t kind = kMemberStream;
  std::string extension = name.size() >= 4 ? UpperAscii(name.substr(name.size() - 4)) : std::string();
  if (extension != ".WAV") {
    stored = CompressMember(data->data(), data->size());
  } else {
    std::optional<TSoundForm> sound = EncodeSound(name, data->data(), data->size());
    if (!sound) return;
    stored = std::move(sound->Bytes);
    kind = kMemberSound;
  }
  data.reset();
  const TArchiveEntry* old = Directory.Find(name);
  if (old && old->StoredSize == stored.size() && old->OrigSize == size) {
    std::optional<TBytes> previous = ReadStored(*old);
    if (previous && Crc32(previous->data(), previous->size()) == Crc32(stored.data(), stored.size())) return;
  }
  if (!ArchiveHandle.Seek(static_cast<int64_t>(WritePosition), platform::SeekOrigin::kBegin) ||
      ArchiveHandle.Write(stored.data(), static_cast<uint32_t>(stored.size())) != stored.size()) {
    // The old end goes back at once where the disk allows; the journal
    // covers the rest on the next open.
    bool putBack = PutBackOldEnd();
    if (putBack) Restored = true;
    FatalExit(Message(putBack ? 7 : 6));
  }
  TArchiveEntry e;
  e.Kind = kind;
  e.Name = old ? old->Name : name;
  e.Date = DosDate(platform::Today());
  e.StoredSize = static_cast<uint32_t>(stored.size());
  e.OrigSize = size;
  e.Offset = static_cast<uint32_t>(WritePosition);
  WritePosition += stored.size();
  if (old) Directory.Remove(name);
  Directory.Append(e);
}

bool TPakSystem::WriteTrailer() {
  uint8_t seeds[2] = {0, 0};
  if (!platform::RandomBytes(seeds, 2)) {
    uint32_t ticks = platform::TickCount();
    seeds[0] = static_cast<uint8_t>(ticks);
    seeds[1] = static_cast<uint8_t>(ticks >> 8);
  }
  TQuarnEncryptionType quarn;
  quarn.SeedA = SeedA = static_cast<uint8_t>(2 + seeds[0] % 5);
  quarn.SeedB = SeedB = static_cast<uint8_t>(2 + seeds[1] % 5);
  std::string cipher = quarn.Encrypt(ExtraInfo.Password.substr(0, 0xFFFF));
  TBytes out = {'Z', 'U', 'P', '3', 1, 0, 'E', 'I', 'H', '2', SeedA, SeedB};
  WriteU16(out, static_cast<uint16_t>(cipher.size()));
  out.insert(out.end(), cipher.begin(), cipher.end());
  out.push_back(ExtraInfo.Official ? 1 : 0);
  TrailerForm = TTrailerForm::kCurrent;
  TrailerTag = "EIH2";
  return ArchiveHandle.Write(out.data(), static_cast<uint32_t>(out.size())) == out.size();
}

void TPakSystem::WriteDirectory() {
  TBytes records(Directory.Count() * kArchiveEntrySize);
  size_t i = 0;
  for (const TArchiveEntry& e : Directory.Records()) e.WriteTo(records.data() + kArchiveEntrySize * i++);
  uLongf bound = compressBound(static_cast<uLong>(records.size()));
  TBytes out(bound);
  ZUP_CHECK(compress2(out.data(), &bound, records.data(), static_cast<uLong>(records.size()), 9) == Z_OK,
            "WriteDirectory: zlib");
  out.resize(bound);
  WriteU32(out, static_cast<uint32_t>(bound));
  WriteU32(out, static_cast<uint32_t>(records.size()));
  WriteU32(out, kArchiveVersion);
  WriteU32(out, static_cast<uint32_t>(Directory.Count()));
  WriteU32(out, 0);
  WriteFailed = !ArchiveHandle.Seek(static_cast<int64_t>(WritePosition), platform::SeekOrigin::kBegin) ||
                ArchiveHandle.Write(out.data(), static_cast<uint32_t>(out.size())) != out.size();
  WriteFailed = !WriteTrailer() || WriteFailed;
  // The journal goes only once the new end is on the disk. One that cannot
  // be deleted would undo the update at the next open, so it is undone now.
  if (!WriteFailed) WriteFailed = !ArchiveHandle.Flush();
  if (!WriteFailed) WriteFailed = !undo_->Commit();
  std::string undo = undo_->Path();
  std::string reason = platform::DescribeError(platform::LastError());
  if (!WriteFailed) {
    ArchiveHandle.Close();
    return;
  }
  bool restored = PutBackOldEnd();
  ArchiveHandle.Close();
  RaiseSetupError({"Unable to write the directory of ", ArchivePath, ": ", reason,
                   (restored ? "; the archive is as it was before this update"
                             : Concat({"; it is put back as it was when it is next opened (", undo, ")"}))});
}

void TPakSystem::ShowStatus(uint16_t Number, uint32_t Done) {
  if (!Observer || !Text) return;
  Observer->SetStatusText(
      FillProgressText(Text->GetString(Number), platform::TextToWide(ArchiveName), Done, MemberTotal));
}

void TPakSystem::Finish() {
  // The operation's state goes whether the write succeeds or raises.
  TScopeExit close([this] { CloseArchive(); });
  WriteDirectory();
}

void TPakSystem::UpdateArchive(TArchiveMembers& Members, const std::string& Name, const std::string& Password) {
  MemberTotal = Members.Count();
  if (MemberTotal < 1) return;
  ArchiveName = Name;
  WriteFailed = false;
  OpenForChange(PathOf(Name));
  LastPercent = 0;
  if (ExtraInfo.HasPassword && !ExtraInfo.Password.empty()) {
    if (Password != ExtraInfo.Password) FatalExit(Message(5));
  } else {
    ExtraInfo.Password = Password;
    ExtraInfo.HasPassword = !Password.empty();
  }
  CutAtDirectory();
  MemberCounter = 0;
  ShowStatus(kStringProgress, 0);
  try {
    Members.ForEach([&](uint32_t index) {
      uint32_t percent = static_cast<uint32_t>(static_cast<uint64_t>(MemberCounter) * 100 / MemberTotal);
      bool changed = percent > LastPercent;
      if (changed) LastPercent = percent;
      ShowStatus(kStringProgress, MemberCounter);
      AddMember(Members, index);
      if (Observer) Observer->StepProgress(changed);
      ++MemberCounter;
    });
  } catch (const EArchiveFatal&) {
    throw;  // the program has ended
  } catch (...) {
    // Not a clean-up: what was added is saved, and that write can fail
    // itself (its error then stands for both).
    ShowStatus(kStringHeader, MemberCounter);
    Finish();
    throw;
  }
  ShowStatus(kStringHeader, MemberCounter);
  Finish();
}

void TPakSystem::SetOfficial(const std::string& Name, const std::string& AccessCode, const std::string& FlagText) {
  if (!SameTextAscii(AccessCode, kOfficialAccessCode)) return;
  ArchiveName = Name;
  WriteFailed = false;
  OpenForChange(PathOf(Name));
  std::string flag = LowerAscii(FlagText);
  ExtraInfo.Official = flag == "t" || flag == "true" || FlagText == "1";
  CutAtDirectory();
  Finish();
}

void TPakSystem::DuplicateEntry(const std::string& Name, const std::string& SourceName, const std::string& NewName) {
  ArchiveName = Name;
  WriteFailed = false;
  OpenForChange(PathOf(Name));
  const TArchiveEntry* source = Directory.Find(SourceName.substr(0, kArchiveNameMax));
  if (!source) {
    CloseArchive();
    return;
  }
  std::string newName = LowerAscii(NewName).substr(0, kArchiveNameMax);
  TArchiveEntry* existing = Directory.Find(newName);
  if (!existing) {
    TArchiveEntry copy = *source;
    copy.Name = newName;
    Directory.Append(copy);
  } else if (existing->Offset == source->Offset && existing->OrigSize == source->OrigSize &&
             existing->StoredSize == source->StoredSize) {
    // The same data already: the record takes the source's marker, kind and
    // date too. A record with other data stays as it is.
    existing->Marker = source->Marker;
    existing->Kind = source->Kind;
    existing->Date = source->Date;
  }
  CutAtDirectory();
  Finish();
}
