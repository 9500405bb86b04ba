#include "core/files/sha256.h"

#include <gtest/gtest.h>

#include "core/files/file_fixture.h"

namespace kvx {
namespace {

// The standard test vectors, and lengths around the padding's block boundary (55, 56, 64 bytes).
TEST(Sha256, StandardVectors) {
  const struct {
    std::string data;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
       "lmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1'000'000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha256Hex(c.data), c.digest) << c.data.size() << " bytes";
}

TEST(Sha256, PiecesHashLikeTheWhole) {
  const std::string data(1000, 'x');
  Sha256 sha;
  for (std::size_t at = 0; at < data.size(); at += 7) sha.Update(std::string_view(data).substr(at, 7));
  EXPECT_EQ(sha.HexDigest(), Sha256Hex(data));
}

TEST(Sha256, FileDigestIsItsContentsAndAMissingFileHasNone) {
  test::ScratchDir dir;
  const std::string path = dir.Write("prog.hex", std::string(70000, '\x5a'));
  std::string hex;
  ASSERT_TRUE(FileSha256(path, hex));
  EXPECT_EQ(hex, Sha256Hex(std::string(70000, '\x5a')));
  EXPECT_FALSE(FileSha256(dir.Path("missing.hex"), hex));
  EXPECT_TRUE(hex.empty());
}

}  // namespace
}  // namespace kvx
