// Cells made in order by one thread and read in order by another.  With
// --all the register's pass puts the added cells of each boundary point in
// place as it takes the parts of the file, and the point layer is written
// from them meanwhile on a thread of its own: the layer is the largest file
// of a county (hundreds of megabytes), and writing it took as long as the
// register's passes together.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace egib {

class CellFeed {
 public:
  // rows rows of width bytes each, blank until put.
  CellFeed(size_t rows, size_t width) : cells_(rows * width, ' '), rows_(rows), width_(width) {}
  CellFeed(const CellFeed&) = delete;
  CellFeed& operator=(const CellFeed&) = delete;

  // The maker: the cells of the next row.  Rows beyond those expected are
  // only counted (rows_put() then tells the mismatch).
  void put(std::string_view cells) {
    if (put_ < rows_ && cells.size() == width_) {
      std::memcpy(cells_.data() + put_ * width_, cells.data(), width_);
    }
    ++put_;
  }
  // The maker: the rows put so far may be read.
  void publish() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ready_ = std::min(put_, rows_);
    }
    more_.notify_all();
  }
  // No more rows come: the reader takes what there is, blank cells where
  // none was put.  Said more than once, it is said once.
  void finish() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ready_ = std::min(put_, rows_);
      done_ = true;
    }
    more_.notify_all();
  }
  // The reader: waits until the first n rows are in place (or no more
  // come); returns how many rows may be read.
  size_t wait_until(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    more_.wait(lock, [&] { return ready_ >= n || done_; });
    return done_ ? rows_ : ready_;
  }
  std::string_view cells() const { return cells_; }
  size_t width() const { return width_; }
  size_t rows() const { return rows_; }
  // How many rows the maker put; read after finish() and the reader's end.
  size_t rows_put() const { return put_; }

 private:
  std::string cells_;
  const size_t rows_;
  const size_t width_;
  size_t put_ = 0;  // the maker's alone
  std::mutex mutex_;
  std::condition_variable more_;
  size_t ready_ = 0;
  bool done_ = false;
};

// A reader of a feed, on a thread of its own or, when the run keeps to one
// thread, on join() after the feed is complete.  The feed is finished and
// the thread joined when this ends, whatever happened between.
class FeedReader {
 public:
  FeedReader() = default;
  FeedReader(const FeedReader&) = delete;
  FeedReader& operator=(const FeedReader&) = delete;
  ~FeedReader() { abandon(); }

  void start(CellFeed& feed, std::function<void()> read, bool own_thread) {
    feed_ = &feed;
    if (own_thread) {
      thread_ = std::thread(std::move(read));
    } else {
      pending_ = std::move(read);
    }
  }
  bool running() const { return thread_.joinable() || pending_ != nullptr; }
  // The feed finished, the reading done to its end.
  void join() {
    abandon_thread();
    if (pending_ != nullptr) {
      const std::function<void()> read = std::move(pending_);
      pending_ = nullptr;
      read();
    }
  }
  // The same, but reading that has not begun never does (the run failed).
  void abandon() {
    pending_ = nullptr;
    abandon_thread();
  }

 private:
  void abandon_thread() {
    if (feed_ != nullptr) feed_->finish();
    if (thread_.joinable()) thread_.join();
  }
  CellFeed* feed_ = nullptr;
  std::thread thread_;
  std::function<void()> pending_;
};

}  // namespace egib
