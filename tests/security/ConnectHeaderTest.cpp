#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "comms/vxCommsSocket.h"
#include "comms/vxTerminal.h"
#include "security/ConnectHeader.h"
#include "security/HeaderCheck.h"
#include "security/hmac.h"

namespace vxk {
namespace {

// Expected digests below were computed with python3, signed text = each line + b"\r\n":
//   hmac.new(key, signed, hashlib.sha256).hexdigest()   (key b"" unless HMAC mode)
// and the tool's proof as hmac.new(secret, digest.encode(), hashlib.sha256).hexdigest().
const char kSecret[] = "s3cret-key";

// A TCP link attached to one end of a socket pair; the test plays the device on the other.
class HeaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0);
    // A fresh link each time: a closed link keeps what it had buffered.
    link_ = std::make_unique<TvxCommsSocket>();
    link_->SetRoundTripTime(100);
    link_->SetExtraTime(250);
    link_->AttachSocket(fds_[0]);
    ASSERT_TRUE(link_->Open());
  }
  void TearDown() override {
    if (link_) link_->Close();
    if (fds_[1] >= 0) close(fds_[1]);
    fds_[1] = -1;
  }

  // A new link and device end, for tests that run several headers.
  void Restart() {
    TearDown();
    status_.clear();
    SetUp();
  }
  void Send(const std::string& bytes) {
    ASSERT_EQ(write(fds_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  // Sends the lines with the given ending, then the closing empty line.
  void SendHeader(const std::vector<std::string>& lines, const std::string& ending = "\r\n") {
    std::string bytes;
    for (const auto& line : lines) bytes += line + ending;
    Send(bytes + ending);
  }
  bool Run(const std::string& secret = kSecret) {
    return ProcessConnectHeader(*link_, secret,
                                [this](const std::string& s) { status_.push_back(s); });
  }
  // Everything the tool sent to the device; closes the link first so that the end is seen.
  std::string Received() {
    link_->Close();
    std::string out;
    char buf[4096];
    while (poll(std::vector<pollfd>{{fds_[1], POLLIN, 0}}.data(), 1, 2000) > 0) {
      const ssize_t n = read(fds_[1], buf, sizeof buf);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }

  int fds_[2] = {-1, -1};
  std::unique_ptr<TvxCommsSocket> link_;
  std::vector<std::string> status_;
};

using Lines = std::vector<std::string>;
const Lines kPlain = {"CONNECT vx.keeper 1.0", "serial: 123456", "site: Harbour:Quay 7",
                      "user: alice", "idle: 300"};
const char kPlainDigest[] = "08822b3e84f5bf2bb65cc15d97531be1a7fda5891c96e631d742e59771f72b6a";
const Lines kHmac = {"CONNECT 10.0.0.5", "serial: 777001", "auth: x-hmac.sha256-y"};
const char kHmacDigest[] = "31a0958106dcf25c5719719d350a3fe713b0cbb353f4a31b736f16d6f18d93dc";
const char kHmacProof[] = "b5e9182f527c5d7cc58b16817681be1cdad75f659e882b80f17be54144c83587";
const char kHmacEmptyKeyDigest[] =
    "8fe439a61a30efa704dc87efc54a0108ab1962c15ff817960bafe4163c7f4f4c";
const char kHmacEmptyKeyProof[] =
    "aafa9524a900863750c0642ac77e323a856b52add54a14fd229f9f90e56aea76";

Lines With(Lines lines, const std::string& extra) {
  lines.push_back(extra);
  return lines;
}

TEST_F(HeaderTest, PlainHeaderAcceptedOnlyWithoutKey) {
  SendHeader(With(kPlain, std::string("sha: ") + kPlainDigest));
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(status_, (Lines{"Site: Harbour:Quay 7", "User: alice", "Idle: 300", "SHA: correct."}));
  EXPECT_EQ(link_->SerialNumber(), "123456");
  EXPECT_TRUE(link_->IsOpen());
  EXPECT_EQ(Received(), "");  // no proof without HMAC mode
  // With a key, a header that does not prove it opens no session.
  Restart();
  SendHeader(With(kPlain, std::string("sha: ") + kPlainDigest));
  EXPECT_FALSE(Run());
  EXPECT_EQ(status_.back(), "!Invalid TOA header!");
  EXPECT_EQ(status_[status_.size() - 2],
            "AUTH: the device did not prove the secret key (hmac.sha256)");
  EXPECT_FALSE(link_->IsOpen());
  EXPECT_EQ(Received(), "BYE!\r\n");
}

// A peer without the key must not get the key's signature of a text it chose.
TEST_F(HeaderTest, ProofSignsOnlyTheDigestThatMatchedUnderTheKey) {
  const std::string chosen = "sha: " + std::string(64, 'a');
  // Accepted with the empty key, then a chosen "digest", then HMAC mode: refused, no proof.
  SendHeader({"CONNECT late", "serial: 5",
              "sha: e5ea8f240a13de9d4331c7862dfdc0c972976d95044b197def9d59ff773576f4", chosen,
              "auth: hmac.sha256"});
  EXPECT_FALSE(Run());
  EXPECT_EQ(Received(), "BYE!\r\n");
  // A real device's header followed by a chosen line: the proof still covers the real digest.
  Restart();
  SendHeader({kHmac[0], kHmac[1], kHmac[2], std::string("sha: ") + kHmacDigest, chosen});
  EXPECT_TRUE(Run());
  EXPECT_EQ(status_, (Lines{"SHA: correct for secret key.", "SHA: !Invalid for secret key!"}));
  EXPECT_EQ(Received(), std::string(kHmacProof) + "\r\n");
}

// A peer that sends its header a byte at a time is refused at the header's deadline.
TEST_F(HeaderTest, SlowHeaderRefusedAtItsDeadline) {
  const std::string header = "CONNECT 10.0.0.5\r\nserial: 777001\r\nauth: x-hmac.sha256-y\r\n" +
                             std::string("sha: ") + kHmacDigest + "\r\n\r\n";
  std::atomic<bool> stop{false};
  std::thread dribble([&] {
    for (size_t i = 0; i < header.size() && !stop; ++i) {
      if (write(fds_[1], &header[i], 1) != 1) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));  // well inside the 100 ms
    }
  });
  const auto start = std::chrono::steady_clock::now();
  const bool accepted = ProcessConnectHeader(
      *link_, kSecret, [this](const std::string& s) { status_.push_back(s); }, 300);
  const auto took = std::chrono::steady_clock::now() - start;
  stop = true;
  dribble.join();
  EXPECT_FALSE(accepted);
  EXPECT_LT(took, std::chrono::milliseconds(1500));  // the whole header would take 2.5 s
  EXPECT_EQ(status_.back(), "!Invalid TOA header!");
  EXPECT_FALSE(link_->IsOpen());
}

// Taken a step at a time, bytes that came between two steps count as in time, and nothing
// else reaches the device before the header has been checked.
TEST_F(HeaderTest, StepwiseCheckKeepsTheTerminalOffTheDeviceUntilDone) {
  HeaderCheck check(*link_, kSecret, [this](const std::string& s) { status_.push_back(s); });
  TvxTerminal terminal(*link_);
  Send(kHmac[0] + "\r\n" + kHmac[1] + "\r\nauth: x-hmac");
  EXPECT_EQ(check.Step(0), HeaderCheck::State::Reading);
  EXPECT_FALSE(terminal.Send("typed"));
  Send(std::string(".sha256-y\r\nsha: ") + kHmacDigest + "\r\n\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // twice the byte time-out
  EXPECT_EQ(check.Step(0), HeaderCheck::State::Accepted);
  EXPECT_EQ(status_, Lines{"SHA: correct for secret key."});
  EXPECT_TRUE(terminal.Send("after"));
  EXPECT_EQ(Received(), std::string(kHmacProof) + "\r\nafter");
}

TEST_F(HeaderTest, HmacHeaderAcceptedAndProofSent) {
  SendHeader(With(kHmac, std::string("sha:\t ") + kHmacDigest));
  EXPECT_TRUE(Run());
  EXPECT_EQ(status_, Lines{"SHA: correct for secret key."});
  EXPECT_EQ(link_->SerialNumber(), "777001");
  EXPECT_EQ(Received(), std::string(kHmacProof) + "\r\n");
}

TEST_F(HeaderTest, HmacWithEmptySecretUsesEmptyKey) {
  SendHeader(With(kHmac, std::string("sha: ") + kHmacEmptyKeyDigest));
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(status_, Lines{"SHA: correct for secret key."});
  EXPECT_EQ(Received(), std::string(kHmacEmptyKeyProof) + "\r\n");
}

TEST_F(HeaderTest, RefusedHmacHeaderSendsOnlyBye) {
  // Signed with the empty key while the tool has a secret.
  SendHeader(With(kHmac, std::string("sha: ") + kHmacEmptyKeyDigest));
  EXPECT_FALSE(Run());
  EXPECT_EQ(status_, (Lines{"SHA: !Invalid for secret key!", "!Invalid TOA header!"}));
  EXPECT_FALSE(link_->IsOpen());
  EXPECT_EQ(Received(), "BYE!\r\n");
}

// The signed text always ends lines with CR LF, whatever the device sent; LF is dropped anywhere.
TEST_F(HeaderTest, LineEndingsDoNotChangeSignedText) {
  for (const std::string ending : {"\r", "\r\n", "\n\r"}) {
    Restart();
    SendHeader(With(kPlain, std::string("sha: ") + kPlainDigest), ending);
    EXPECT_TRUE(Run("")) << static_cast<int>(ending.back());
    EXPECT_EQ(status_.back(), "SHA: correct.");
  }
  Restart();
  Send("CONNECT vx.\nkeeper 1.0\r\n\nserial: 123456\r\nsite: Harbour:Quay 7\rus\ner: alice\r");
  Send(std::string("idle: 300\rsha: ") + kPlainDigest + "\r\r");
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(status_[1], "User: alice");
}

TEST_F(HeaderTest, IdentityTextsFromKeysAndItems) {
  // Digest: python3 as above over these seven lines.
  SendHeader({"CONNECT id", "sErIaL:\t  42 ", "serial : 43", "device: Prod P ;co= Maker M\t",
              "version: 3.01 ; bu = 0042 ;da=2023-01-02;ca=.lcd.;na=vx.keeper.Net;xx=1",
              "version: ;Bu=9999;DA=1999", "no colon here",
              "sha: 33e88e860f024c14370ccb37fbeb775f7ca3ec5600e9e68b27b6d21081f09e57"});
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(link_->SerialNumber(), "42 ");  // lower-cased key, leading blanks only removed
  EXPECT_EQ(link_->Manufacturer(), "Maker M");
  EXPECT_EQ(link_->ProductName(), "vx.keeper.Net");  // na comes after the device line
  EXPECT_EQ(link_->FirmwareVersion(), "3.01 ");      // unnamed item untrimmed; empty item ignored
  EXPECT_EQ(link_->FirmwareBuild(), "0042");         // item names are case-sensitive
  EXPECT_EQ(link_->FirmwareDate(), "2023-01-02");
  EXPECT_EQ(link_->Capabilities(), ".lcd.");
}

TEST_F(HeaderTest, DeviceLineSetsProductAndManufacturer) {
  // The unnamed item may come after a named one; a later unnamed item wins.
  Send("CONNECT d\r\ndevice: co=\x01M\x7f;first;P\r\n\r\n");
  EXPECT_FALSE(Run());
  EXPECT_EQ(link_->ProductName(), "P");
  EXPECT_EQ(link_->Manufacturer(), "M");
  EXPECT_EQ(link_->FirmwareVersion(), "0.00");
}

TEST_F(HeaderTest, DigestMustMatchExactly) {
  std::string upper = kPlainDigest;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  const std::string wrong[] = {upper, std::string(kPlainDigest) + " ",
                               std::string(kPlainDigest).substr(0, 63), ""};
  for (const auto& digest : wrong) {
    Restart();
    SendHeader(With(kPlain, "sha: " + digest));
    EXPECT_FALSE(Run()) << digest;
    EXPECT_EQ(status_.back(), "!Invalid TOA header!");
    EXPECT_EQ(status_[status_.size() - 2], "SHA: !Invalid!");
    EXPECT_FALSE(link_->IsOpen());
    EXPECT_EQ(Received(), "BYE!\r\n");
  }
}

// Without a key the late "auth" line still asks for the proof; with one the header is refused.
TEST_F(HeaderTest, AuthAfterShaChecksWithEmptyKey) {
  const Lines late = {"CONNECT late", "serial: 5",
                      "sha: e5ea8f240a13de9d4331c7862dfdc0c972976d95044b197def9d59ff773576f4",
                      "auth: hmac.sha256"};
  SendHeader(late);
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(status_, Lines{"SHA: correct."});
  EXPECT_EQ(Received(), "7eceb46ebe8b69aadab9787340f4e8bec3f74c52ec810b960314e453b65a5a58\r\n");
  Restart();
  SendHeader(late);
  EXPECT_FALSE(Run());
  EXPECT_EQ(Received(), "BYE!\r\n");
}

TEST_F(HeaderTest, UnknownAuthChecksWithEmptyKey) {
  SendHeader({"CONNECT unk", "auth: md5",
              "sha: 1828b9a6ae87b624180ee6cae7b3836e5abc40515b14e01572fec79bbe1f00b1"});
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(status_, (Lines{"AUTH: unknown authentication (md5)", "SHA: correct."}));
  EXPECT_EQ(Received(), "");
}

// Each sha line covers the text before it; one match is enough.
TEST_F(HeaderTest, SeveralShaLines) {
  const std::string good = "c755a2a5a91acec86304f95ee3a8001ffc31cd2ca30c17a4faeb67d14c38488a";
  SendHeader({"CONNECT several", "sha: " + std::string(64, '0'), "sha: " + good, "sha: " + good});
  EXPECT_TRUE(Run(""));
  EXPECT_EQ(status_, (Lines{"SHA: !Invalid!", "SHA: correct.", "SHA: !Invalid!"}));
  EXPECT_TRUE(link_->IsOpen());
}

TEST_F(HeaderTest, MissingShaRefused) {
  SendHeader({"CONNECT x", "serial: 1", "auth: hmac.sha256"});
  EXPECT_FALSE(Run());
  EXPECT_EQ(status_, Lines{"!Invalid TOA header!"});
  EXPECT_EQ(Received(), "BYE!\r\n");
}

TEST_F(HeaderTest, FirstLineMustBeginWithConnect) {
  for (const std::string first : {"connect x", " CONNECT x", "CONNECTx", "CONNECT", "HELLO", ""}) {
    Restart();
    SendHeader(With({first, "serial: 1"}, std::string("sha: ") + kPlainDigest));
    EXPECT_FALSE(Run()) << first;
    EXPECT_EQ(status_, Lines{"!Invalid TOA header!"});
    EXPECT_EQ(link_->SerialNumber(), "999999");  // nothing after line 1 was read
    EXPECT_EQ(Received(), "BYE!\r\n");
  }
}

TEST_F(HeaderTest, LineCutOffIsRefusedAfterTimeOut) {
  // The sha line would match, but its CR never comes and the device stays connected.
  Send(std::string("CONNECT vx.keeper 1.0\r\nserial: 123456\r\nsite: Harbour:Quay 7\r\n") +
       "user: alice\r\nidle: 300\r\nsha: " + kPlainDigest);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Run());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(status_.back(), "!Invalid TOA header!");
  EXPECT_EQ(Received(), "BYE!\r\n");
}

// Headers of more than 64 lines or 16 KiB of signed text are refused like invalid ones. The
// digests here come from HmacSha256Hex itself (checked against references elsewhere); what
// matters is which header is read to its end.
TEST_F(HeaderTest, OversizedHeaderRefused) {
  auto header = [](int fillers, size_t padding) {
    Lines lines{"CONNECT big"};
    for (int i = 0; i < fillers; ++i) lines.push_back("x-fill: " + std::to_string(i));
    if (padding > 0) lines.push_back("x-pad: " + std::string(padding, 'p'));
    std::string signedText;
    for (const auto& l : lines) signedText += l + "\r\n";
    lines.push_back("sha: " + HmacSha256Hex("", signedText));
    return lines;
  };
  const size_t shaLine = 5 + 64 + 2;
  const size_t fixed = std::string("CONNECT big\r\n").size() + std::string("x-pad: \r\n").size();
  const struct {
    Lines lines;
    bool accepted;
  } cases[] = {
      {header(62, 0), true},                                     // 64 lines
      {header(63, 0), false},                                    // 65 lines
      {header(0, kMaxSignedText - fixed - shaLine), true},       // exactly 16 KiB
      {header(0, kMaxSignedText - fixed - shaLine + 1), false},  // one byte more
      {header(0, kMaxSignedText), false},
  };
  for (const auto& c : cases) {
    Restart();
    SendHeader(c.lines);
    EXPECT_EQ(Run(""), c.accepted) << c.lines.size();
    if (c.accepted) {
      EXPECT_EQ(status_, Lines{"SHA: correct."});
      EXPECT_EQ(Received(), "");
    } else {
      EXPECT_EQ(status_, Lines{"!Invalid TOA header!"});  // the sha line was never reached
      EXPECT_EQ(Received(), "BYE!\r\n");
    }
  }
}

}  // namespace
}  // namespace vxk
