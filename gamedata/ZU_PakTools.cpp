// The tools' archive work, in an object of its own so that a setup, which
// only updates archives, does not carry it: making a new, empty archive and
// decoding a member back to its original bytes.
#include <algorithm>
#include <cstring>

#include "common/BufferManager.h"
#include "common/Inflate.h"
#include "common/ScopeExit.h"
#include "common/Strings.h"
#include "gamedata/UndoJournal.h"
#include "gamedata/ZU_PakSystem.h"

namespace {

int16_t DecodeSample(uint8_t Code, TAdpcmState& State) {
  int32_t step = kAdpcmStepTable[State.Index];
  int32_t delta = step >> 3;
  if (Code & 4) delta += step;
  if (Code & 2) delta += step >> 1;
  if (Code & 1) delta += step >> 2;
  State.Predictor = std::clamp(State.Predictor + ((Code & 8) ? -delta : delta), -32768, 32767);
  State.Index = std::clamp(State.Index + kAdpcmIndexTable[Code & 15], 0, 88);
  return static_cast<int16_t>(State.Predictor);
}

}  // namespace

bool DecodeMemberTo(const TArchiveEntry& Entry, const TBytes& Stored,
                    TFunctionRef<bool(const uint8_t* Piece, size_t Count)> Sink) {
  if (Entry.Kind == kMemberStream) {
    TBytes stream = Stored;
    ScrambleStream(stream.data(), stream.size());  // the XOR undoes itself
    return InflateExactTo(stream.data(), stream.size(), Entry.OrigSize, Sink);
  }
  // A sound is at most four times its stored size.
  std::optional<TBytes> whole = DecodeMember(Entry, Stored);
  return whole && Sink(whole->data(), whole->size());
}

std::optional<TBytes> DecodeMember(const TArchiveEntry& Entry, const TBytes& Stored) {
  if (Entry.Kind == kMemberStream) {
    TBytes stream = Stored;
    ScrambleStream(stream.data(), stream.size());  // the XOR undoes itself
    return InflateExact(stream.data(), stream.size(), Entry.OrigSize);
  }
  if (Entry.Kind != kMemberSound || Stored.size() < kSoundHeaderSize) return std::nullopt;
  uint32_t dataSize = GetU32(Stored.data() + 40);
  uint32_t payload = GetU32(Stored.data() + 54);
  if (kSoundHeaderSize + static_cast<uint64_t>(payload) > Stored.size()) return std::nullopt;
  TBytes wav(Stored.begin(), Stored.begin() + 44);
  const uint8_t* body = Stored.data() + kSoundHeaderSize;
  if (Stored[44] == 0) {
    if (dataSize > payload) return std::nullopt;
    wav.resize(44 + static_cast<size_t>(dataSize));
    if (dataSize) std::memcpy(wav.data() + 44, body, dataSize);
  } else {
    bool stereo = GetU16(Stored.data() + 22) != 1;
    uint32_t blocks = (dataSize + kAdpcmBlockBytes - 1) / kAdpcmBlockBytes;
    if (dataSize / 4 + 6ull * blocks != payload || dataSize % (stereo ? 8 : 4) != 0) return std::nullopt;
    wav.resize(44 + static_cast<size_t>(dataSize));
    uint8_t* pcm = wav.data() + 44;
    TAdpcmState states[2];
    for (uint32_t b = 0; b < blocks; ++b) {
      uint32_t bytes = std::min(kAdpcmBlockBytes, dataSize - b * kAdpcmBlockBytes);
      const uint8_t* codes = body + static_cast<size_t>(b) * (kAdpcmBlockBytes / 4 + 6);
      uint8_t* block = pcm + static_cast<size_t>(b) * kAdpcmBlockBytes;
      uint32_t count = bytes / 2;
      uint32_t channels = stereo ? 2 : 1;
      uint32_t perChannel = count / channels;
      for (uint32_t ch = 0; ch < channels; ++ch) {
        const uint8_t* in = codes + ch * (perChannel / 2);
        for (uint32_t i = 0; i < perChannel; ++i) {
          uint8_t code = (i % 2 == 0) ? static_cast<uint8_t>(in[i / 2] >> 4) : static_cast<uint8_t>(in[i / 2] & 15);
          int16_t s = DecodeSample(code, states[ch]);
          PutU16(block + 2 * (i * channels + ch), static_cast<uint16_t>(s));
        }
      }
    }
  }
  PutU32(wav.data() + 4, static_cast<uint32_t>(wav.size() - 8));  // RIFF size of what is left
  return wav;
}

void TPakSystem::CreateArchive(const std::string& Path, const std::string& Password) {
  CloseArchive();
  ArchivePath = Path;
  undo_ = std::make_unique<TUndoJournal>(ArchiveHandle, Path + kUndoSuffix);
  if (!ArchiveHandle.Open(Path, platform::kAccessReadWrite, platform::kShareRead,
                          platform::FileDisposition::kCreateNew)) {
    RaiseSetupError({"Unable to create ", Path, ": ", platform::DescribeError(platform::LastError())});
  }
  ExtraInfo = TExtraInfo{};
  ExtraInfo.Password = Password;
  ExtraInfo.HasPassword = !Password.empty();
  // A failed write leaves no half archive; the file is closed before it is
  // deleted (Windows deletes no open file).
  TScopeExit remove([&Path] { platform::DeleteFile(Path); });
  TScopeExit close([this] { CloseArchive(); });
  WriteDirectory();
  remove.Release();
}
