#include "core/device/workspace.h"

#include <iterator>
#include <sstream>

#include "core/device/catalogue.h"

namespace kvx {

void QtpStream::CopyFrom(const QtpStream& other) {
  if (!other.stream_) {
    stream_.reset();
    return;
  }
  // The whole text, then the copy put where the original stands (at its end when it has ended).
  std::istream& in = *other.stream_;
  const bool ended = !in.good();
  in.clear();
  const std::streampos at = in.tellg();
  in.seekg(0);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.clear();
  in.seekg(at);
  auto copy = std::make_unique<std::istringstream>(std::move(text));
  if (at >= 0) copy->seekg(at);
  if (ended) {
    in.setstate(std::ios::eofbit);
    copy->setstate(std::ios::eofbit);
  }
  stream_ = std::move(copy);
}

Workspace::Workspace() {
  image.IdBuffer.fill(0x7F);
  image.ProgramBuffer.fill(0x7F);
  image.EepromBuffer.fill(0x00);
  device.DeviceIndex = GetICInfo(*this, device.SelectedDevice);
}

}  // namespace kvx
