// The language file beside the program, for the few texts the run-time
// folder lookup shows.
#include "common/TextRules.h"
#include "common/Utils.h"
#include "package/Language.h"

#include <windows.h>

std::string LangIniText(const std::string& key, const std::string& fallback, const std::string& value) {
  const std::string program = ProgramPath();
  const std::string file = program.substr(0, program.rfind('\\') + 1) + "HELP\\English\\Varnix.language.ini";
  std::string text;
  if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES) {
    text = ReadIniString(file, "STRINGS", key, "");
    // Bars guard blanks at either end of a value; a lone bar stands for empty.
    if (text == "|") {
      text.clear();
    } else if (text.size() >= 2 && text.front() == '|' && text.back() == '|') {
      text = text.substr(1, text.size() - 2);
    }
  }
  if (text.empty()) text = fallback;
  return ReplaceText(text, "<?>", value, false);
}
