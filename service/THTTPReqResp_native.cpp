// The HTTP layer over cpp-httplib, for the native builds.

#include "Exception.h"
#include "THTTPRIO.h"
#include "http_library_errors.h"
#include "soap_envelope.h"
#include "url_parts.h"

#include <httplib.h>
#include <netdb.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Ends the request when the time limit passes, however the server trickles its reply.
class Watchdog {
public:
  Watchdog(httplib::Client &client, int seconds)
      : thread_([this, &client, seconds] {
          std::unique_lock lock(mutex_);
          if (!done_cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
            fired_ = true;
            client.stop();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_cv_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog &) = delete;
  Watchdog &operator=(const Watchdog &) = delete;

  bool fired() {
    std::lock_guard lock(mutex_);
    return fired_;
  }

private:
  std::mutex mutex_;
  std::condition_variable done_cv_;
  bool done_ = false;
  bool fired_ = false;
  std::thread thread_;
};

bool resolves(const std::string &host) {
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
    return false;
  freeaddrinfo(found);
  return true;
}

} // namespace

THTTPReqResp::Response THTTPReqResp::Send(const std::string &method, const std::string &url,
                                          const std::string &soap_action, const std::string &body) {
  UrlParts target = UrlParts::parse(url);
  NativeRequest request;
  if (method == "POST") {
    request.header_lines.push_back("SOAPAction: \"" + soap_action + "\"");
    request.header_lines.push_back(std::string("Content-Type: ") + soap::envelope_content_type);
  }
  if (OnBeforePost)
    OnBeforePost(this, &request);

  httplib::Request req;
  req.method = method;
  req.path = target.path_and_query;
  req.set_header("User-Agent", UserAgent);
  for (const std::string &line : request.header_lines) {
    size_t colon = line.find(':');
    if (colon == std::string::npos)
      continue;
    size_t value = line.find_first_not_of(' ', colon + 1);
    req.set_header(line.substr(0, colon), value == std::string::npos ? "" : line.substr(value));
  }
  if (method == "POST")
    req.body = body;

  Response response;
  bool too_large = false;
  req.response_handler = [&](const httplib::Response &head) {
    // A declared length past the limit is refused before anything of the body is read.
    auto length = head.get_header_value<uint64_t>("Content-Length");
    too_large = length > BodyLimit;
    return !too_large;
  };
  req.content_receiver = [&](const char *data, size_t size, uint64_t, uint64_t) {
    too_large = size > BodyLimit - response.body.size();
    if (!too_large)
      response.body.append(data, size);
    return !too_large;
  };

  // With OpenSSL the library checks the server's certificate and name against the system's authorities.
  httplib::Client client((target.secure ? "https://" : "http://") + target.host + ":" +
                         std::to_string(target.port));
  client.set_connection_timeout(std::min(30, TimeLimit));
  // The watchdog ends the request at the time limit; the socket's own limits come after it.
  client.set_read_timeout(TimeLimit + 1);
  client.set_write_timeout(TimeLimit + 1);
  client.set_keep_alive(false);
  bool timed_out = false;
  httplib::Result result = [&] {
    Watchdog watchdog(client, TimeLimit);
    httplib::Result sent = client.send(req);
    timed_out = watchdog.fired();
    return sent;
  }();
  if (too_large)
    throw Exception("Resposta de " + url + " grande demais: mais de " + std::to_string(BodyLimit) + " bytes");
  if (timed_out || result.error() == httplib::Error::ConnectionTimeout)
    throw Exception("Falha de conexão com " + url + ": sem resposta após " + std::to_string(TimeLimit) +
                    " s");
  if (!result) {
    std::string cause = http_failure_text(result.error());
    if (result.error() == httplib::Error::Connection)
      cause = resolves(target.host) ? "conexão recusada" : "host desconhecido";
    throw Exception("Falha de conexão com " + url + ": " + cause);
  }
  response.status = result->status;
  return response;
}
