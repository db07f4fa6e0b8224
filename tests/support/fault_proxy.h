// A fault-injecting server on 127.0.0.1 in front of the development OA server: each request it
// receives is either passed to the server and its reply back, or met with the fault planned
// for it, as a failing network or server would: connections dropped before or during the
// body, error statuses, a stall past the client's time-outs, the server killed in the middle
// of a body or between two requests, a reply cut short. One connection is served at a time.
#ifndef QNMURO_TESTS_SUPPORT_FAULT_PROXY_H_
#define QNMURO_TESTS_SUPPORT_FAULT_PROXY_H_

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qnmuro::test_util {

enum class Fault {
  kPass,
  kDropBeforeBody,  // the connection closed once the head arrived
  kDropDuringBody,  // closed with half the body read
  kStatus500,
  kStatus503,
  kStatus401,       // no challenge: the credentials are refused outright
  kStall,           // the request read, then silence until the client gives up
  kKillMidBody,     // half the body passed on, then the server killed (and started again)
  kKillAfterReply,  // passed and answered, then the server killed before the next request
  kCutReply,        // passed; only the first half of the server's reply reaches the client
  kLate,            // passed after a pause shorter than the client's time-outs (a slow line)
  kFalseSuccess,    // answered 500 with a body that says success, the server never asked
};
inline constexpr int kFaultKinds = 12;
const char* FaultName(Fault fault);

class FaultProxy {
 public:
  // Passes requests to 127.0.0.1:upstream_port; `restart` kills the server and starts it again
  // on that port (the kill faults call it).
  FaultProxy(int upstream_port, std::function<void()> restart);
  ~FaultProxy();
  FaultProxy(const FaultProxy&) = delete;
  FaultProxy& operator=(const FaultProxy&) = delete;

  int port() const { return port_; }
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The faults for the next requests, in order; requests after them pass. Replaces any plan.
  void Plan(std::vector<Fault> faults);
  // The targets of the requests received so far (method and target), in order.
  std::vector<std::string> Seen();

 private:
  void Accept();
  void Serve(int client);
  Fault Next();

  int upstream_port_;
  std::function<void()> restart_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mu_;
  std::deque<Fault> plan_;
  std::vector<std::string> seen_;
  std::thread thread_;
};

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_FAULT_PROXY_H_
