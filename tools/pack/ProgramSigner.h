// Signs a finished program file with the publisher's own command, and makes
// sure the signer only appended its signature behind the package.
#pragma once

#include <cstdint>
#include <string>

#include "pack/PackStatus.h"

struct SignRequest {
  std::string command;  // run by RunSignCommand with $in and $out
  std::string folder;   // where it runs (empty: the current folder)
  uint32_t timeoutSeconds = 600;
  uint64_t imageSize = 0;  // the stub's size: where the package starts
};

// Runs the command with $in = `programPath` (complete, end pointer set) and
// $out = a new file beside it, checks the result and moves it over
// `programPath`. Fails with kSign when the command fails or times out,
// writes no output, or changes any byte it must not: the end pointer, the
// package, or the image outside the PE header area (0x100..0x1FF, where a
// signer updates the PE checksum and the certificate directory). On failure
// `programPath` still holds the unsigned program (the caller removes it) and
// no temporary file is left.
PackStatus SignProgram(const std::string& programPath, const SignRequest& request);

// The signer's output check on its own: empty when `signedPath` is
// `unsignedPath` with bytes appended and only the PE header area changed,
// and the package reader still finds the package; otherwise the reason.
std::string CheckSignedProgram(const std::string& unsignedPath, const std::string& signedPath,
                               uint64_t imageSize);
