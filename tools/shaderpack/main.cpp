// vox-shaderpack: writes "QvShaderPack.bin", the shader pack the engine's
// graphics carries in its own data (packed into an archive by vox-qva).
//
// Layout (little-endian): the byte sizes of 49152 vertex-shader blobs and
// 3456 pixel-shader blobs as u16 each, then the non-empty blobs back to back
// in index order, vertex shaders first. Only vertex shader 32774 and pixel
// shader 2454 are made. OpenGL cannot run Direct3D byte code, so each blob
// is framed as byte code (a version 2.0 token, a comment naming what it
// stands for, the end token) for the device to accept and keep; drawing
// uses the fixed-function stages.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kVertexSlots = 49152, kPixelSlots = 3456;
constexpr int kVertexShader = 32774, kPixelShader = 2454;

std::vector<uint8_t> Blob(uint32_t version, const std::string& text) {
  std::vector<uint32_t> tokens;
  tokens.push_back(version);
  uint32_t words = (uint32_t)(text.size() + 4) / 4;
  tokens.push_back(0xFFFEu | (words << 16));  // a comment of `words` tokens
  std::vector<uint32_t> comment(words, 0);
  std::memcpy(comment.data(), text.data(), text.size());
  tokens.insert(tokens.end(), comment.begin(), comment.end());
  tokens.push_back(0x0000FFFFu);
  std::vector<uint8_t> bytes(tokens.size() * 4);
  for (size_t i = 0; i < tokens.size(); i++)
    for (int b = 0; b < 4; b++) bytes[i * 4 + b] = (uint8_t)(tokens[i] >> (8 * b));
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: vox-shaderpack QvShaderPack.bin\n");
    return 2;
  }
  std::vector<uint8_t> vs = Blob(0xFFFE0200u, "Voxaldrift vertex stage: screen and world vertices, lights, fog");
  std::vector<uint8_t> ps = Blob(0xFFFF0200u, "Voxaldrift pixel stage: texture stages, texture factor");
  std::vector<uint8_t> pack((size_t)(kVertexSlots + kPixelSlots) * 2, 0);
  auto size_at = [&](int index, size_t n) {
    pack[(size_t)index * 2] = (uint8_t)n;
    pack[(size_t)index * 2 + 1] = (uint8_t)(n >> 8);
  };
  size_at(kVertexShader, vs.size());
  size_at(kVertexSlots + kPixelShader, ps.size());
  pack.insert(pack.end(), vs.begin(), vs.end());
  pack.insert(pack.end(), ps.begin(), ps.end());
  FILE* out = std::fopen(argv[1], "wb");
  if (!out || std::fwrite(pack.data(), 1, pack.size(), out) != pack.size() || std::fclose(out) != 0) {
    std::fprintf(stderr, "vox-shaderpack: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
