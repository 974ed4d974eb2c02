#include "inet/HttpClient.h"

#include <windows.h>

#include <memory>

#include "common/Files.h"
#include "common/TextRules.h"
#include "common/Utils.h"
#include "common/UtilsUi.h"
#include "common/VDebug.h"
#include "common/WinHandles.h"
#include "inet/BytesRate.h"
#include "inet/Download.h"
#include "inet/DownloadRules.h"
#include "inet/HtmlErrorPage.h"
#include "inet/ProgBar.h"
#include "inet/WinInet.h"

namespace {

constexpr char kProbeAgent[] = "HTTP_Connect_2";
constexpr char kDownloadAgent[] = "HTTP_Connect_3";
// A dead server must not hold the window for minutes.
constexpr DWORD kTimeoutMs = 30000;
// Large reads: under Wine a read of 8 KB moves about 65 MB/s from a loopback
// server, one of 256 KB more than ten times that.
constexpr DWORD kReadSize = 256 * 1024;
constexpr int kMaxRedirects = 10;
constexpr uint64_t kMaxMemoryDownload = 16 * 1024 * 1024;
constexpr char kNoLibrary[] = "Unable to initialize \"WinINet.dll\"";
constexpr char kNoConnection[] = "Unable to open Internet Connection: ";
constexpr DWORD kReloadFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;

// The texts of the Internet library's own error codes, which the system's
// message table does not carry.
std::string InternetErrorText(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_TIMEOUT: return "the server did not answer in time";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "the server name could not be resolved";
    case ERROR_INTERNET_CANNOT_CONNECT: return "the connection to the server failed";
    case ERROR_INTERNET_CONNECTION_ABORTED: return "the connection was aborted";
    case ERROR_INTERNET_CONNECTION_RESET: return "the connection was reset";
    case ERROR_INTERNET_INVALID_URL: return "the URL is not valid";
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return "the URL's scheme is not supported";
    case ERROR_INTERNET_INVALID_CA:
      return "the server's certificate is not trusted (unknown or self-signed issuer)";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID: return "the server's certificate names another host";
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID: return "the server's certificate has expired or is not yet valid";
    case ERROR_INTERNET_SEC_CERT_ERRORS: return "the server's certificate is not valid";
    case ERROR_INTERNET_SEC_CERT_REVOKED: return "the server's certificate has been revoked";
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: return "the secure connection could not be set up";
    case ERROR_HTTP_REDIRECT_FAILED: return "a redirect could not be followed";
    case ERROR_INTERNET_EXTENDED_ERROR: return WinInetLibrary::LastResponseText();
    default: break;
  }
  const std::string text = SystemErrorText(code);
  if (!text.empty()) return text;
  const std::string response = WinInetLibrary::LastResponseText();
  return response.empty() ? "error " + std::to_string(code) : response;
}

std::string LastErrorReason() { return InternetErrorText(GetLastError()); }

bool IsRedirect(unsigned status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void SetTimeouts(HINTERNET handle) {
  const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                           INTERNET_OPTION_RECEIVE_TIMEOUT, INTERNET_OPTION_DATA_SEND_TIMEOUT,
                           INTERNET_OPTION_DATA_RECEIVE_TIMEOUT};
  for (const DWORD option : options) {
    DWORD value = kTimeoutMs;
    WinInetLibrary::SetOption(handle, option, &value, sizeof value);
  }
}

// One GET: the root, connection and request handles, closed in reverse
// order when it goes (the members' order). The request's time-outs are set before it is sent,
// where the library honours them.
struct HttpGet {
  UniqueInternetHandle root;
  UniqueInternetHandle connection;
  UniqueInternetHandle request;
  std::string reason;  // why the request failed, when it did

  bool Send(const char* agent, const std::string& url, DWORD flags);
  bool SendOnce(const std::string& url, DWORD flags);
  std::string Header(DWORD query) const;
  unsigned Status() const;
  uint64_t ContentLength() const;
  uint32_t LastModifiedDos() const;
};

bool HttpGet::Send(const char* agent, const std::string& url, DWORD flags) {
  root.reset(WinInetLibrary::Open(agent));
  if (!root) return false;
  SetTimeouts(root.get());
  // Redirects are followed here, not by the library, which follows a loop
  // for ever; after the last hop the redirect's status is the answer.
  std::string target = url;
  for (int hop = 0;; ++hop) {
    if (!SendOnce(target, flags | INTERNET_FLAG_NO_AUTO_REDIRECT)) return false;
    const std::string location = Header(HTTP_QUERY_LOCATION);
    if (!IsRedirect(Status()) || location.empty() || hop == kMaxRedirects) return true;
    target = ResolveUrl(target, location);
  }
}

bool HttpGet::SendOnce(const std::string& url, DWORD flags) {
  request.reset();
  connection.reset();
  UrlParts parts;
  if (!SplitUrl(url, parts)) {
    reason = "the URL is not valid";
    return false;
  }
  connection.reset(WinInetLibrary::Connect(root.get(), parts.host, static_cast<INTERNET_PORT>(parts.port)));
  if (connection) {
    SetTimeouts(connection.get());
    request.reset(WinInetLibrary::OpenRequest(connection.get(), parts.path,
                                              flags | (parts.secure ? INTERNET_FLAG_SECURE : 0)));
  }
  if (request) {
    SetTimeouts(request.get());
    if (WinInetLibrary::SendRequest(request.get())) return true;
  }
  reason = LastErrorReason();
  request.reset();
  return false;
}

std::string HttpGet::Header(DWORD query) const {
  char text[2048] = {};
  DWORD length = sizeof text - 1;
  if (!WinInetLibrary::QueryInfo(request.get(), query, text, &length)) return "";
  return std::string(text, length < sizeof text ? length : sizeof text - 1);
}

unsigned HttpGet::Status() const {
  DWORD status = 0;
  DWORD length = sizeof status;
  if (!WinInetLibrary::QueryInfo(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length))
    return 0;
  return status;
}

// The announced length as a 64-bit number; kUnknownSize when the header is
// absent (chunked or closed by the server) or not a number.
uint64_t HttpGet::ContentLength() const {
  char text[32] = {};
  DWORD length = sizeof text - 1;
  if (!WinInetLibrary::QueryInfo(request.get(), HTTP_QUERY_CONTENT_LENGTH, text, &length)) return kUnknownSize;
  int64_t value = 0;
  if (!ParseInt64(TrimText(text), value) || value < 0) return kUnknownSize;
  return static_cast<uint64_t>(value);
}

uint32_t HttpGet::LastModifiedDos() const {
  SYSTEMTIME time = {};
  DWORD length = sizeof time;
  FILETIME fileTime;
  WORD date = 0, clock = 0;
  if (!WinInetLibrary::QueryInfo(request.get(), HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &time,
                                 &length) ||
      !SystemTimeToFileTime(&time, &fileTime) || !FileTimeToDosDateTime(&fileTime, &date, &clock)) {
    return 0;
  }
  return (static_cast<uint32_t>(date) << 16) | clock;
}

// A first request whose answer is not used: it wakes a dial-up connection
// or a proxy before the request that counts.
void WarmUpRequest(const std::string& url) {
  HttpGet get;
  get.Send(kProbeAgent, url, 0);
}

// Where the bytes of one download go: a file under its partial name, moved
// over the target once complete, or a string in memory.
class DownloadSink {
 public:
  DownloadSink(const std::string& destFile, std::string& content) : destFile_(destFile), content_(content) {}
  ~DownloadSink() { Discard(); }

  std::string Begin(uint64_t size, uint32_t dosDate);
  std::string Take(const char* data, DWORD size);
  std::string Finish();
  void Discard();

 private:
  void DeleteEarlierPartials() const;

  const std::string& destFile_;
  std::string& content_;
  std::string partial_;
  UniqueFile file_;
};

void DownloadSink::DeleteEarlierPartials() const {
  const std::string folder = ExtractFileDir(destFile_);
  const std::string name = ExtractFileName(destFile_);
  WIN32_FIND_DATAA found;
  UniqueFind find(FindFirstFileA((destFile_ + ".*").c_str(), &found));
  if (!find) return;
  do {
    if (IsPartialNameOf(found.cFileName, name)) DeleteFileA((folder + "\\" + found.cFileName).c_str());
  } while (FindNextFileA(find.get(), &found));
}

std::string DownloadSink::Begin(uint64_t size, uint32_t dosDate) {
  if (destFile_.empty()) {
    if (size != kUnknownSize && size > kMaxMemoryDownload) return "the file is too large to be read into memory";
    return "";
  }
  DeleteEarlierPartials();
  partial_ = PartialFileName(destFile_, size, dosDate);
  file_.reset(CreateFileA(partial_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file_) {
    const std::string reason = ErrorCodeText(GetLastError());
    partial_.clear();
    return "Unable to create " + destFile_ + " (" + reason + ")";
  }
  return "";
}

std::string DownloadSink::Take(const char* data, DWORD size) {
  if (!file_) {
    if (content_.size() + size > kMaxMemoryDownload) return "the file is too large to be read into memory";
    content_.append(data, size);
    return "";
  }
  DWORD written = 0;
  if (WriteFile(file_.get(), data, size, &written, nullptr) && written == size) return "";
  return "Unable to write " + partial_ + " (" + ErrorCodeText(GetLastError()) + ")";
}

std::string DownloadSink::Finish() {
  if (!file_) return "";
  file_.reset();
  if (MoveOverFile(partial_, destFile_)) {
    partial_.clear();
    return "";
  }
  return "Unable to replace " + destFile_ + " (" + ErrorCodeText(GetLastError()) + ")";
}

void DownloadSink::Discard() {
  file_.reset();
  if (!partial_.empty()) DeleteFileA(partial_.c_str());
  partial_.clear();
}

// The read loop of one download and its accounting.
class Transfer {
 public:
  Transfer(HttpGet& get, const std::string& url, DownloadSink& sink, TProgBar* progress)
      : get_(get), url_(url), sink_(sink), progress_(progress) {}
  // The error text; empty when the transfer is complete and checked.
  std::string Run(uint64_t expectedSize);
  uint64_t received() const { return received_; }

 private:
  std::string CheckAnswer();
  std::string ReadAll();
  void Report(DWORD bytesThisRead);

  HttpGet& get_;
  const std::string& url_;
  DownloadSink& sink_;
  TProgBar* progress_;
  uint64_t size_ = kUnknownSize;
  uint32_t chunk_ = 1;
  TBytesRate meter_{false, false};
  uint64_t received_ = 0;
};

std::string Transfer::CheckAnswer() {
  const unsigned status = get_.Status();
  if (status == 404) return NotFoundMessage(url_);
  if (status != 200) return HttpStatusError(url_, status);
  size_ = get_.ContentLength();
  if (size_ == 0) return url_ + " --- File Not Found !";
  return "";
}

void Transfer::Report(DWORD bytesThisRead) {
  const std::string text = meter_.Update(size_, received_, bytesThisRead, GetTickCount());
  if (progress_) progress_->StepTo(ProgressPosition(received_, size_, chunk_), text);
}

std::string Transfer::ReadAll() {
  std::unique_ptr<char[]> buffer(new char[kReadSize]);
  const std::string fileName = UrlFileName(url_);
  while (!DownloadAbort()) {
    PumpWhenDue();
    // Asking what is there first keeps a slow server from holding the window
    // until a whole large read is filled.
    DWORD available = 0;
    DWORD read = 0;
    if (!WinInetLibrary::QueryDataAvailable(get_.request.get(), &available) ||
        (available > 0 && !WinInetLibrary::Read(get_.request.get(), buffer.get(),
                                                available < kReadSize ? available : kReadSize, &read))) {
      return fileName + " --- Error downloading file (" + LastErrorReason() + ")";
    }
    if (read == 0) break;
    received_ += read;
    const std::string error = sink_.Take(buffer.get(), read);
    if (!error.empty()) return error;
    Report(read);
  }
  return DownloadAbort() ? "Download Aborted" : "";
}

std::string Transfer::Run(uint64_t expectedSize) {
  std::string error = CheckAnswer();
  if (error.empty()) error = sink_.Begin(size_, get_.LastModifiedDos());
  if (!error.empty()) return error;
  chunk_ = ProgressChunk(size_);
  meter_ = MeterForSize(size_);
  if (progress_) progress_->Start(1, ProgressRange(size_, chunk_));
  error = ReadAll();
  if (error.empty()) error = TransferVerdict(size_, received_, expectedSize);
  if (error.empty()) error = sink_.Finish();
  return error;
}

}  // namespace

bool InternetConnected(std::string& message) {
  DWORD flags = 0;
  const bool connected = WinInetLibrary::GetConnectedState(&flags) != FALSE;
  message = connected ? "" : SystemErrorText(GetLastError());
  return connected;
}

bool InternetConnected() {
  std::string message;
  return InternetConnected(message);
}

int64_t HTTP_GetFileSize(const std::string& url) {
  WarmUpRequest(url);
  HttpGet get;
  if (!get.Send(kProbeAgent, CompleteUrlScheme(url), 0) || get.Status() != 200) return -1;
  const uint64_t length = get.ContentLength();
  const int64_t size = length == kUnknownSize ? -1 : static_cast<int64_t>(length);
  DebugChannel() << "HTTP_GetFileSize=" << static_cast<long long>(size) << "  " << url;
  return size;
}

bool IsConnectionError(const std::string& errorText) {
  return errorText == kNoLibrary || StartsWithText(kNoConnection, errorText, false);
}

bool HTTP_DownloadFile(const std::string& url, const std::string& destFile, std::string& content,
                       TProgBar* progress, std::string& errorText, uint64_t expectedSize) {
  content.clear();
  const std::string fullUrl = CompleteUrlScheme(url);
  WarmUpRequest(fullUrl);
  const int64_t started = MillisecondClock();
  HttpGet get;
  uint64_t received = 0;
  if (!get.Send(kDownloadAgent, fullUrl, kReloadFlags)) {
    errorText = get.root ? kNoConnection + url + " (" + get.reason + ")" : kNoLibrary;
  } else {
    DownloadSink sink(destFile, content);
    Transfer transfer(get, url, sink, progress);
    errorText = transfer.Run(expectedSize);
    received = transfer.received();
  }
  if (!errorText.empty()) {
    content.clear();
    DebugChannel() << static_cast<unsigned long>(GetCurrentProcessId()) << " HTTP_DownloadFile_Incremental: "
                   << errorText;
    return false;
  }
  DebugChannel() << "DownloadTime: " << static_cast<long long>(MillisecondClock() - started) << " MS for "
                 << static_cast<unsigned long long>(received) << " Bytes";
  return true;
}
