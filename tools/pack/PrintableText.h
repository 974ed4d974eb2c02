// Text from a package shown on a terminal: every message and listing of the
// tool passes package texts (entry names above all) through this one
// function, so a damaged or hostile package cannot garble the terminal or
// send it escape sequences.
#pragma once

#include <string>

// Bytes below 0x20, 0x7F and 0x80..0x9F (the C1 controls of Latin-1
// terminals) as \xNN with two upper-case hexadecimal digits; all else as is.
std::string PrintableText(const std::string& text);
