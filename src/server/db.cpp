#include "server/db.h"

Pool::Pool(std::function<std::unique_ptr<Conn>()> open, size_t size) : open_(std::move(open)), size_(size) {}

Pool::Lease Pool::get() {
  std::unique_ptr<Conn> c;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    freed_.wait(lock, [&] { return !idle_.empty() || out_ + idle_.size() < size_; });
    if (!idle_.empty()) {
      c = std::move(idle_.back());
      idle_.pop_back();
    }
    ++out_;
  }
  if (!c || !c->usable()) {
    try {
      c = open_();
    } catch (...) {
      const std::lock_guard<std::mutex> lock(mutex_);
      --out_;
      freed_.notify_one();
      throw;
    }
  }
  return Lease(this, std::move(c));
}

Pool::Lease::~Lease() {
  if (pool_ == nullptr) return;
  const std::lock_guard<std::mutex> lock(pool_->mutex_);
  --pool_->out_;
  if (c_ && c_->usable()) pool_->idle_.push_back(std::move(c_));
  pool_->freed_.notify_one();
}
