#include "common/FakeHttp.h"

namespace corvanteer::testing {

void FakeHttp::Answer(long status, std::string body) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(HttpResponse{status, std::move(body), ""});
}

void FakeHttp::NoAnswer(std::string error) {
    std::lock_guard<std::mutex> lock(mutex_);
    script_.push_back(HttpResponse{0, "", std::move(error)});
}

HttpResponse FakeHttp::Get(const HttpRequest& request) {
    return PostForm(request);
}

HttpResponse FakeHttp::PostForm(const HttpRequest& request) {
    std::function<HttpResponse(const HttpRequest&)> work;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(request);
        if (!script_.empty()) {
            HttpResponse response = std::move(script_.front());
            script_.pop_front();
            return response;
        }
        work = handler;
    }
    if (work) {
        return work(request);
    }
    return HttpResponse{0, "", "no answer scripted for " + request.url};
}

std::vector<HttpRequest> FakeHttp::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::string FakeHttp::Field(std::size_t index, const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    return index < requests_.size() ? QueryValue(requests_[index].form, name) : std::string();
}

}  // namespace corvanteer::testing
