#include "common/Inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

TBytes Deflated(const std::string& Data) {
  uLongf size = compressBound(static_cast<uLong>(Data.size()));
  TBytes out(size);
  compress2(out.data(), &size, reinterpret_cast<const Bytef*>(Data.data()), static_cast<uLong>(Data.size()), 9);
  out.resize(size);
  return out;
}

}  // namespace

// One checker, reused stream after stream, passes and refuses exactly what
// InflateExact does and counts the same bytes: sound streams, claims too
// short and too long, a cut and a damaged stream, a claim no stream of its
// size could meet, and streams of more than its 1 MiB buffer.
TEST(TStreamChecker, AgreesWithInflateExactStreamAfterStream) {
  std::string big(3 << 20, 'a');
  for (size_t i = 0; i < big.size(); i += 4099) big[i] = static_cast<char>(i);
  const TBytes small = Deflated(std::string(5000, 'x') + "tail");
  const TBytes large = Deflated(big);
  TBytes cut(small.begin(), small.begin() + small.size() / 2);
  TBytes damaged = small;
  damaged[damaged.size() / 2] ^= 0x55;
  TBytes garbage(100, 0x7f);
  const TBytes empty = Deflated("");
  struct Case {
    const TBytes& stream;
    uint64_t claim;
  };
  const std::vector<Case> cases = {
      {small, 5004},   {small, 5003}, {small, 5005},     {large, big.size()},     {large, big.size() - 1}, {cut, 5004},
      {damaged, 5004}, {garbage, 10}, {small, 60000000}, {large, big.size() + 1}, {small, 5004},           {empty, 0},
  };
  TStreamChecker checker;
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    uint64_t expectedProduced = 0, produced = 99;
    const bool expected = InflateExact(c.stream.data(), c.stream.size(), c.claim, &expectedProduced).has_value();
    EXPECT_EQ(checker.Check(c.stream.data(), c.stream.size(), c.claim, produced), expected) << "case " << i;
    EXPECT_EQ(produced, expectedProduced) << "case " << i;
  }
}
