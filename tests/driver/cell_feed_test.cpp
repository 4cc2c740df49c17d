#include "driver/cell_feed.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace egib {
namespace {

std::string row_text(size_t r) {
  std::string s = std::to_string(r % 1000);
  return std::string(3 - s.size(), '0') + s;
}

// The reader takes every row in order, each only once it is in place,
// whatever the maker's pace; what it waited for is never a blank row.
TEST(CellFeed, ReaderTakesEveryRowInOrderWhileTheMakerPutsThem) {
  constexpr size_t kRows = 20000;
  CellFeed feed(kRows, 3);
  std::string read;
  bool blank_seen = false;
  FeedReader reader;
  reader.start(
      feed,
      [&] {
        size_t ready = 0;
        for (size_t r = 0; r < kRows; ++r) {
          if (r >= ready) ready = feed.wait_until(r + 1);
          const std::string_view cell = feed.cells().substr(r * 3, 3);
          if (cell == "   ") blank_seen = true;
          read.append(cell);
        }
      },
      true);
  for (size_t r = 0; r < kRows; ++r) {
    feed.put(row_text(r));
    if (r % 97 == 0) feed.publish();
  }
  feed.publish();
  reader.join();
  EXPECT_FALSE(blank_seen);
  std::string expected;
  for (size_t r = 0; r < kRows; ++r) expected += row_text(r);
  EXPECT_EQ(read, expected);
  EXPECT_EQ(feed.rows_put(), kRows);
}

// A maker that stops early (an interrupted pass, fewer objects than
// expected) releases a waiting reader, which then reads blank cells; rows
// beyond those expected are counted, not written past the end.
TEST(CellFeed, FinishReleasesTheReaderAndCountsAMismatch) {
  CellFeed short_feed(4, 2);
  short_feed.put("ab");
  short_feed.publish();
  size_t ready = 0;
  std::thread waiting([&] { ready = short_feed.wait_until(3); });
  short_feed.finish();
  waiting.join();
  EXPECT_EQ(ready, 4u);
  EXPECT_EQ(short_feed.cells(), "ab      ");
  EXPECT_EQ(short_feed.rows_put(), 1u);

  CellFeed long_feed(2, 2);
  for (const char* c : {"ab", "cd", "ef"}) long_feed.put(c);
  long_feed.finish();
  EXPECT_EQ(long_feed.cells(), "abcd");
  EXPECT_EQ(long_feed.rows_put(), 3u);
}

// A reader whose maker never comes (the run failed before its pass) ends
// when it is joined.
TEST(CellFeed, JoiningEndsAReaderWhoseMakerNeverCame) {
  CellFeed feed(3, 1);
  size_t ready = 0;
  {
    FeedReader reader;
    reader.start(
        feed, [&] { ready = feed.wait_until(3); }, true);
  }
  EXPECT_EQ(ready, 3u);
}

// With one thread the reading waits for join(), after the whole feed; a
// failed run abandons it and it never begins.
TEST(CellFeed, OnOneThreadTheReadingIsDoneOnJoinOrNotAtAll) {
  CellFeed feed(2, 1);
  std::string read;
  FeedReader reader;
  reader.start(
      feed, [&] { read = std::string(feed.cells().substr(0, feed.wait_until(2))); }, false);
  EXPECT_TRUE(reader.running());
  feed.put("a");
  feed.put("b");
  EXPECT_EQ(read, "");
  reader.join();
  EXPECT_EQ(read, "ab");
  EXPECT_FALSE(reader.running());

  CellFeed other(1, 1);
  bool began = false;
  FeedReader abandoned;
  abandoned.start(
      other, [&] { began = true; }, false);
  abandoned.abandon();
  EXPECT_FALSE(began);
  EXPECT_FALSE(abandoned.running());
}

}  // namespace
}  // namespace egib
