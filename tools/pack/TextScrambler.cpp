#include "pack/TextScrambler.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "autoupdate/SecretToken.h"
#include "common/Scramble.h"

namespace {

PackStatus InputFail(const std::string& path, const std::string& what) {
  return PackStatus::Fail(ExitCode::kInput, path + ": " + what);
}

PackStatus ReadText(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return InputFail(path, "cannot open the file");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return InputFail(path, "cannot read the file");
  text = bytes.str();
  if (text.empty()) return InputFail(path, "the file is empty: nothing to scramble");
  // Plain text with the marker in front would be unscrambled by the agent
  // into noise; a scrambled file scrambled again would not change at all.
  if (text.compare(0, std::strlen(kScrambleMarker), kScrambleMarker) == 0)
    return InputFail(path, std::string("the file begins with \"") + kScrambleMarker + "\" already");
  return PackStatus::Ok();
}

PackStatus WriteText(const std::string& path, const std::string& text) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (out) out.close();
  if (out) return PackStatus::Ok();
  const std::string reason = errno != 0 ? std::string(": ") + std::strerror(errno) : std::string();
  std::remove(path.c_str());
  return PackStatus::Fail(ExitCode::kOutput, path + ": cannot write the file" + reason);
}

}  // namespace

PackStatus ScrambleTextFile(const std::string& in, const std::string& out, int key) {
  std::string text;
  PackStatus status = ReadText(in, text);
  if (!status.ok()) return status;
  const std::string scrambled = ScrambleTextWithKey(text, key, false);
  if (scrambled.size() > kInformFileMaxBytes) {
    return InputFail(in, "too large: the agent reads inform files of up to " +
                             std::to_string(kInformFileMaxBytes) + " bytes");
  }
  return WriteText(out, scrambled);
}
