// Reading back the trace lines that a library copy wrote to its file. The
// expected texts are written as GBK bytes, the code page the sink writes.
#pragma once

#include <string>
#include <vector>

namespace gbk {
inline const std::string kSent = "\xb7\xa2\xcb\xcd\xca\xfd\xbe\xdd:";   // 发送数据:
inline const std::string kReply = "\xb7\xb5\xbb\xd8\xca\xfd\xbe\xdd:";  // 返回数据:
inline const std::string kMilliseconds = "\xba\xc1\xc3\xeb";            // 毫秒
inline const std::string kCardInit = "\xbf\xaa\xca\xbc\xb6\xc1\xd0\xf2\xc1\xd0\xba\xc5";
inline const std::string kRetry =  // 试图再次初始化读卡器
    "\xca\xd4\xcd\xbc\xd4\xd9\xb4\xce\xb3\xf5\xca\xbc\xbb\xaf\xb6\xc1\xbf\xa8\xc6\xf7";
inline const std::string kReopen =  // 自动初始化读卡器：
    "\xd7\xd4\xb6\xaf\xb3\xf5\xca\xbc\xbb\xaf\xb6\xc1\xbf\xa8\xc6\xf7\xa3\xba";
inline const std::string kGiveUp =  // 读卡器初始化次数到(6200)
    "\xb6\xc1\xbf\xa8\xc6\xf7\xb3\xf5\xca\xbc\xbb\xaf\xb4\xce\xca\xfd\xb5\xbd(6200)";
inline const std::string kConnectFailed = "SCardConnect\xca\xa7\xb0\xdc\xa3\xba";
inline const std::string kTransmitFailed = "SCardTransmit\xca\xa7\xb0\xdc\xa3\xba";
}  // namespace gbk

// A file name for a trace, removed again when the object goes.
class TraceFile {
 public:
  TraceFile();
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  const std::string& Path() const { return path_; }
  std::vector<std::string> Lines() const;
  // How many lines begin with `prefix`.
  size_t Count(const std::string& prefix) const;

 private:
  std::string path_;
};
