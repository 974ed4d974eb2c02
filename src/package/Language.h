// The language block: the fixed table of language names, the choice of one
// section per run and key lookup with built-in defaults. Portable apart from
// the locale capture (per platform) and the language file (Win32).
#pragma once

#include <string>

class TGFileInfo;

// The 51 rows "NAME<blanks>= number", separator "|".
extern const char kLanguageTable[];

// The language name for a primary language id: the first row whose text
// holds the id written with at least two digits; empty when none does.
std::string LanguageNameOf(int primaryLanguage);

// The section of `languageBlock` for the language `wanted` (names compared
// trimmed, ignoring case); the only section when there is exactly one;
// otherwise "*". Then the same with "English" when the result was "*".
std::string ChooseLanguageSection(const std::string& languageBlock, const std::string& wanted);

// `SUB.Value` of a chosen section; the fallback when no section was chosen.
std::string SectionText(const std::string& section, const std::string& key, const std::string& fallback);

// The built-in English defaults of the stub's keys, in one place.
namespace LangDefault {
extern const char s0[], s1[], s2[], s3[], s4[], s5[], s6[], s7[], s8[], s10[], s11[], s12[];
extern const char BtnText[], Attention[], Confirm[], Error[], Charset[], FontSize[], FontName[];
}  // namespace LangDefault

// The primary language of the thread locale captured at program start (9,
// English, when unknown). Defined once per platform.
int StartupPrimaryLanguage();

// The section chosen for this run: fixed by the first lookup of any reader
// (on that reader's language block) and shared by all readers afterwards;
// "*" when none matched.
const std::string& SelectLanguageSection(const TGFileInfo& reader);
// Forgets the choice, so a test can make a first lookup again.
void ResetLanguageSectionForTesting();

// A text from "HELP\English\Varnix.language.ini" beside the program
// (section STRINGS), every "<?>" replaced by `value`; the fallback when the
// file or the value is missing. Win32 only.
std::string LangIniText(const std::string& key, const std::string& fallback, const std::string& value);
