#include "common/RunLog.h"

#include <windows.h>

#include "common/Files.h"
#include "common/LogFormat.h"
#include "common/Utils.h"

namespace {

bool logEnabled = false;
std::string logPath;
std::string recordMarker = "   ";

std::string LocaleText(LCTYPE type, const char* fallback) {
  char text[16] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text) <= 1) return fallback;
  return text;
}

}  // namespace

void SetRunLogEnabled(bool enabled) { logEnabled = enabled; }
bool RunLogEnabled() { return logEnabled; }

std::string GetLogFileName() {
  if (logPath.empty()) logPath = LogFileNameFor(ProgramPath());
  return logPath;
}

void SetLogMarker(const std::string& marker) { recordMarker = marker; }

void WriteLog(const std::string& message) {
  if (!logEnabled) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  const LogTime time{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  const std::string record =
      FormatLogRecord(time, LocaleText(LOCALE_SDATE, "/"), LocaleText(LOCALE_STIME, ":"),
                      GetCurrentThreadId(), recordMarker, message);
  // A lost record is acceptable: a failed write does not change the run.
  AppendToFile(GetLogFileName(), record, false, 0);
}
