#pragma once

// An HttpClient for tests: answers each request with the next scripted answer (or with what
// a handler works out), and records every request. Thread-safe.

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "transport/HttpClient.h"

namespace corvanteer::testing {

class FakeHttp final : public HttpClient {
public:
    // A JSON answer with that status.
    void Answer(long status, std::string body);
    // No answer (as after a time-out).
    void NoAnswer(std::string error = "no answer from https://auth.example.test: timed out");
    // Works out the answer for requests once the script is used up.
    std::function<HttpResponse(const HttpRequest&)> handler;

    // Both take the next answer alike.
    HttpResponse Get(const HttpRequest& request) override;
    HttpResponse PostForm(const HttpRequest& request) override;

    std::vector<HttpRequest> Requests();
    // The decoded value of a field of request index's form.
    std::string Field(std::size_t index, const std::string& name);

private:
    std::mutex mutex_;
    std::deque<HttpResponse> script_;
    std::vector<HttpRequest> requests_;
};

}  // namespace corvanteer::testing
