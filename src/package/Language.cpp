#include "package/Language.h"

#include "common/NumberText.h"
#include "common/TextRules.h"
#include "common/VSUB.h"
#include "package/PackageFormat.h"
#include "package/TGFileInfo.h"

// Names padded to 13 characters, the composite names to 21; the numbers are
// primary language ids with at least two digits, the last eight full ids.
const char kLanguageTable[] =
    "|AFRIKAANS    = 54|ALBANIAN     = 28|ARABIC       = 01|BASQUE       = 45"
    "|BELARUSIAN   = 35|BULGARIAN    = 02|CATALAN      = 03|CHINESE      = 04"
    "|CROATIAN     = 26|CZECH        = 05|DANISH       = 06|DUTCH        = 19"
    "|ENGLISH      = 09|ESTONIAN     = 37|FAEROESE     = 56|FARSI        = 41"
    "|FINNISH      = 11|FRENCH       = 12|GERMAN       = 07|GREEK        = 08"
    "|HEBREW       = 13|HUNGARIAN    = 14|ICELANDIC    = 15|INDONESIAN   = 33"
    "|ITALIAN      = 16|JAPANESE     = 17|KOREAN       = 18|LATVIAN      = 38"
    "|LITHUANIAN   = 39|NORWEGIAN    = 20|POLISH       = 21|PORTUGUESE   = 22"
    "|ROMANIAN     = 24|RUSSIAN      = 25|SERBIAN      = 26|SLOVAK       = 27"
    "|SLOVENIAN    = 36|SPANISH      = 10|SWEDISH      = 29|THAI         = 30"
    "|TURKISH      = 31|UKRAINIAN    = 34|VIETNAMESE   = 42"
    "|CHINESE(SIMPLIFIED)  = 2052|CHINESE(TRADITIONAL) = 1028|DUTCH(FLEMISH)       = 2067"
    "|DUTCH(STANDARD)      = 1043|PORTUGUESE(PORTUGAL) = 2070|PORTUGUESE(BRAZIL)   = 1046"
    "|SERBIAN(LATIN)       = 2074|SERBIAN(CYRILIC)     = 3098|";

namespace LangDefault {
const char s0[] = "Varnix Installation Suite";
const char s1[] = "Extracting Files...";
const char s2[] = "Varnix will extract files to your Temp Drive (<DRIVE>)<P>";
const char s3[] = "Limited Free Space on your Temp Drive! (<DRIVE>)<P>";
const char s4[] = "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>";
const char s5[] = "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>";
const char s6[] = "<P>Continue with Setup?<P>";
const char s7[] = "Bad CRC!<P>This indicates that your setup file might be corrupted...";
const char s8[] = "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue";
const char s10[] = "Downloading File...";
const char s11[] =
    "<b>INTERNET DOWNLOAD</b><p><p>Varnix will download the Setup File from the Internet...<p>Please make sure "
    "your Internet connection is properly set.<p><p>Continue with Setup?<p><P>Size: <SIZE> MB<P>";
const char s12[] = "No valid Internet Connection.<p>Can not Download File!";
const char BtnText[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
const char Attention[] = "Attention";
const char Confirm[] = "Confirm";
const char Error[] = "Error";
const char Charset[] = "0";
const char FontSize[] = "8";
const char FontName[] = "Tahoma";
}  // namespace LangDefault

namespace {

std::string chosenSection;  // empty until the first lookup; "*" when none matched

std::string FindSection(const std::string& block, const std::string& wanted) {
  const int count = SUB::Count(block);
  for (int i = 0; i < count; ++i) {
    const std::string section = SUB::Item(block, i);
    if (SameTrimmedText(SUB::Item(section, 0), wanted)) return section;
  }
  return count == 1 ? SUB::Item(block, 0, "*") : "*";
}

}  // namespace

std::string LanguageNameOf(int primaryLanguage) {
  const std::string digits = DecimalText(primaryLanguage, 2);
  const int rows = SUB::Count(kLanguageTable);
  for (int i = 0; i < rows; ++i) {
    const std::string row = SUB::Item(kLanguageTable, i);
    if (row.find(digits) != std::string::npos) return TrimText(row.substr(0, row.find('=')));
  }
  return "";
}

std::string ChooseLanguageSection(const std::string& languageBlock, const std::string& wanted) {
  const std::string section = FindSection(languageBlock, wanted);
  return section == "*" ? FindSection(languageBlock, "English") : section;
}

std::string SectionText(const std::string& section, const std::string& key, const std::string& fallback) {
  return section.size() > 1 ? SUB::Value(section, key, fallback) : fallback;
}

const std::string& SelectLanguageSection(const TGFileInfo& reader) {
  if (chosenSection.empty()) {
    chosenSection = ChooseLanguageSection(reader.LanguageBlock(), LanguageNameOf(StartupPrimaryLanguage()));
  }
  return chosenSection;
}

void ResetLanguageSectionForTesting() { chosenSection.clear(); }

std::string TGFileInfo::LangText(const std::string& key, const std::string& fallback) const {
  return SectionText(SelectLanguageSection(*this), key, fallback);
}

int TGFileInfo::Charset() const {
  return static_cast<int>(TextToInt64(LangText("Charset", LangDefault::Charset), 0));
}

int TGFileInfo::FontSize() const {
  return static_cast<int>(TextToInt64(LangText("FontSize", LangDefault::FontSize), 8));
}

std::string TGFileInfo::FontName() const { return LangText("FontName", LangDefault::FontName); }
