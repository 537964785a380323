// "GETPID" through the real service program and the stand-in library beside
// it, over a real connection in a private network namespace: what the
// command's own tests cannot see (one connection after another failure, the
// callback, the reply's bytes).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "tests/service/gbk.h"
#include "tests/support/service_program.h"

namespace {

using testsupport::Client;
using testsupport::kServicePort;

const std::string kRequest = "GET /GETPID?x=1 HTTP/1.1\r\nHost: localhost\r\n\r\n";

class GetPidServiceTest : public testsupport::PrivateHostTest {
 protected:
  void SetUp() override {
    PrivateHostTest::SetUp();
    if (IsSkipped()) return;
    std::string pattern = (std::filesystem::temp_directory_path() / "getpid-svc-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }

  void TearDown() override {
    service_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // Starts the service with the simulation reading holder.txt in the test's
  // folder.
  void StartService() {
    service_ = std::make_unique<testsupport::ServiceProgram>(
        testsupport::ProgramOptions{.env = {{"ZETIDCARD_SIM", (folder_ / "holder.txt").string()}}});
    ASSERT_TRUE(service_->Ready());
  }

  // The stand-in reads the holder file at every reader look-up, so a test
  // may rewrite it between requests.
  void WriteHolder(const std::string& contents) {
    std::ofstream(folder_ / "holder.txt", std::ios::binary) << contents;
  }
  void WritePhoto(const std::string& bytes) {
    std::ofstream(folder_ / "face.bin", std::ios::binary) << bytes;
  }

  std::string Ask(Client& client, const std::string& request = kRequest) {
    client.Send(request);
    const auto reply = client.ReadReply();
    EXPECT_TRUE(reply.has_value()) << "no reply";
    return reply ? testsupport::BodyOf(*reply) : "";
  }

  std::filesystem::path folder_;
  std::unique_ptr<testsupport::ServiceProgram> service_;
};

TEST_F(GetPidServiceTest, FailuresAnswerWithTheirCodesOnOneConnection) {
  StartService();
  Client client(kServicePort);

  WriteHolder("noreader=1\n");
  EXPECT_EQ(Ask(client), "{\"ResultCode\":\"0100\",\"ResultMsg\":\"寻找身份证阅读器失败\"}");
  WriteHolder("portfail=1\n");
  EXPECT_EQ(Ask(client), "{\"ResultCode\":\"0102\",\"ResultMsg\":\"打开身份证阅读器端口失败\"}");
  WriteHolder("readstatus=-41\n");
  EXPECT_EQ(Ask(client), "{\"ResultCode\":\"0102\",\"ResultMsg\":\"读取身份证失败_-41\"}");
  for (const char* failure : {"readraises=1\n", "readfaults=1\n", "readlockfaults=1\n"}) {
    WriteHolder(failure);
    EXPECT_EQ(Ask(client), "{\"ResultCode\":\"0103\",\"ResultMsg\":\"读取身份证异常\"}");
  }
  // A look-up that faults is the request's own failure: a log line and no
  // reply. The next request on the connection is answered.
  WriteHolder("findfaults=1\n");
  client.Send(kRequest);
  const std::string failed = G("处理数据异常：identity-card library, Zet_FindUSBReader: ");
  EXPECT_TRUE(service_->LogHas(failed));
  WriteHolder("noreader=1\n");
  EXPECT_EQ(Ask(client), "{\"ResultCode\":\"0100\",\"ResultMsg\":\"寻找身份证阅读器失败\"}");
}

TEST_F(GetPidServiceTest, SuccessSendsEveryMemberAndThePhoto) {
  WritePhoto("\x89PNG");
  WriteHolder(
      "name=王小明  \nsex=男\nnation=汉\naddress=云岭省青川市松涛路8号 \n"
      "idnumber=99010219900307002X\nphoto=" +
      (folder_ / "face.bin").string() + "\n");
  StartService();
  Client client(kServicePort);

  EXPECT_EQ(Ask(client, "GET /getpid?callback=cb HTTP/1.1\r\n\r\n"),
            "cb({\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"Name\":\"王小明\",\"Sex\":\"男\","
            "\"Nation\":\"汉\",\"Address\":\"云岭省青川市松涛路8号 \","
            "\"IDCardNo\":\"99010219900307002X\",\"photo\":\"iVBORw==\"})");

  WriteHolder("name=x\nphotoempty=1\n");
  EXPECT_EQ(Ask(client),
            "{\"ResultCode\":\"0000\",\"ResultMsg\":\"成功\",\"Name\":\"x\",\"Sex\":\"\","
            "\"Nation\":\"\",\"Address\":\"\",\"IDCardNo\":\"\",\"photo\":\"\"}");
}

}  // namespace
