// The reference picture of the on-screen panel after a trace: every packet of a trace (the
// lines of lumora-replay) taken by the panel model, the face drawn from the font table as the
// on-screen library draws it, written as a binary PPM picture that ImageMagick compares with a
// screenshot. The panel's own clock must not run (the picture has no time of day).
//
//   lumora_face_picture TRACE PICTURE.ppm
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "panel/trace_line.h"
#include "paneldrv/emulator/panel_state.h"
#include "paneldrv/window/panel_face.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lumora_face_picture TRACE PICTURE.ppm\n");
    return 2;
  }
  std::ifstream trace(argv[1]);
  if (!trace) {
    std::fprintf(stderr, "lumora_face_picture: cannot read %s\n", argv[1]);
    return 2;
  }
  lumora::emulator::PanelState state;
  std::string line;
  lumora::Packet packet;
  while (std::getline(trace, line)) {
    if (lumora::ParseCmdLine(line, packet)) state.Apply(packet.data(), 0);
  }
  if (state.panelClock().running) {
    std::fprintf(stderr, "lumora_face_picture: the panel's clock runs: no fixed picture\n");
    return 2;
  }
  auto pixels = std::make_unique<lumora::window::FacePixels>();
  lumora::window::RenderFace(state, 0, 0, *pixels);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "lumora_face_picture: cannot write %s\n", argv[2]);
    return 2;
  }
  std::fprintf(out, "P6\n%d %d\n255\n", lumora::window::kFaceWidth, lumora::window::kFaceHeight);
  for (const uint32_t pixel : *pixels) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(pixel >> 16),
                                  static_cast<unsigned char>(pixel >> 8),
                                  static_cast<unsigned char>(pixel)};
    std::fwrite(rgb, 1, sizeof rgb, out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
