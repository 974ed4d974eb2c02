#include "package/PackageReader.h"

#include "common/Scramble.h"
#include "common/TextRules.h"

namespace {

// Tokens travel as letters: each hexadecimal digit shifted up by 50, so "0"
// becomes "b" and "F" becomes "x".
constexpr int kLetterShift = 50;

bool LettersToBytes(const std::string& text, std::string& bytes) {
  std::string hex;
  for (char c : text) hex += static_cast<char>(static_cast<unsigned char>(c) - kLetterShift);
  if (hex.size() % 2) hex.pop_back();  // a lone last digit carries no byte
  for (char c : hex) {
    if (c == ' ' || c == 'x' || c == 'X') return false;  // HexToBytes would skip these
  }
  return HexToBytes(hex, bytes);
}

std::string BytesToLetters(const std::string& bytes) {
  std::string letters = BytesToHex(bytes);
  for (char& c : letters) c = static_cast<char>(c + kLetterShift);
  return letters;
}

unsigned ByteSum(const std::string& bytes, size_t skip) {
  unsigned sum = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != skip) sum += static_cast<unsigned char>(bytes[i]);
  }
  return sum & 0xFF;
}

// The layout, positions counted from 0 in n bytes: [0] r, [1] a^K, [2] b^K,
// a bytes of padding, the token ^ K, b bytes of padding whose last one is
// the check byte (sum of all other bytes), [n-1] r' with K = r ^ r'.
bool Unpack(std::string b, std::string& token) {
  const size_t n = b.size();
  if (n <= 4) return false;
  const size_t check = n - 2;
  if (ByteSum(b, check) != static_cast<unsigned char>(b[check])) return false;
  const char key = static_cast<char>(b[0] ^ b[n - 1]);
  for (size_t i = 1; i <= n - 2; ++i) b[i] = static_cast<char>(b[i] ^ key);
  const size_t a = static_cast<unsigned char>(b[1]);
  const size_t bPad = static_cast<unsigned char>(b[2]);
  if (a + bPad + 4 > n) return false;
  token = b.substr(a + 3, n - a - bPad - 4);
  return true;
}

}  // namespace

std::string Descramble(const std::string& text, bool& ok) {
  std::string bytes, token;
  ok = LettersToBytes(text, bytes) && Unpack(bytes, token);
  return ok ? token : RandomNumberText(0, 99998);
}

std::string Descramble(const std::string& text) {
  bool ok = false;
  return Descramble(text, ok);
}

bool SameToken(const std::string& a, const std::string& b) {
  std::string bytes, tokenA, tokenB;
  if (!LettersToBytes(a, bytes) || !Unpack(bytes, tokenA)) return false;
  if (!LettersToBytes(b, bytes) || !Unpack(bytes, tokenB)) return false;
  return tokenA == tokenB;
}

std::string ScrambleToken(const std::string& token, const std::function<unsigned()>& randomByte,
                          size_t totalBytes) {
  const size_t m = token.size();
  size_t n = totalBytes < m + 5 ? m + 5 : totalBytes;  // at least one byte after the token
  if (n > m + 4 + 510) n = m + 4 + 510;                // both padding counts fit a byte
  const size_t padding = n - m - 4;
  const size_t lowest = padding > 255 ? padding - 255 : 0;
  const size_t highest = padding - 1 < 255 ? padding - 1 : 255;
  const size_t a = lowest + randomByte() % (highest - lowest + 1);
  const size_t bPad = padding - a;

  std::string b(n, '\0');
  for (char& c : b) c = static_cast<char>(randomByte() & 0xFF);
  const char key = static_cast<char>(b[0] ^ b[n - 1]);
  b[1] = static_cast<char>(a) ^ key;
  b[2] = static_cast<char>(bPad) ^ key;
  for (size_t i = 0; i < m; ++i) b[a + 3 + i] = static_cast<char>(token[i] ^ key);
  b[n - 2] = static_cast<char>(ByteSum(b, n - 2));
  return BytesToLetters(b);
}

void SplitTokenText(const std::string& text, std::string& token, std::string& remainder, bool* tokenOk) {
  std::string rest = ScrambleText(text, false, false);
  const size_t first = rest.find('|');
  rest = first == std::string::npos ? "" : rest.substr(first + 1);
  std::string pieces[3];
  for (std::string& piece : pieces) {
    const size_t bar = rest.find('|');
    if (bar == std::string::npos) continue;
    piece = rest.substr(0, bar);
    rest.erase(0, bar + 1);
  }
  bool ok = false;
  token = Descramble(pieces[0], ok);
  if (tokenOk) *tokenOk = ok;
  remainder = rest;
}
