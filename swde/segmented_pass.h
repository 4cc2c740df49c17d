// A pass over the file in parts, on several threads, with the result of the
// single-threaded pass.
//
// The file is cut into parts of a few megabytes, each starting at a line
// that begins an object ("RP," or "RO,").  Worker threads run the pass over
// the parts, each part assuming its grammar starts inside an object section
// there; the calling thread takes the parts' results in file order.  A part
// is taken when the pass before it stopped exactly at the part's start in
// that state; otherwise (an object or a section that runs over a part's
// start, in a malformed file) the calling thread runs the pass again from
// where the previous part really ended.  Line numbers are counted from each
// part's start and completed when a part is taken.  Whatever the number of
// threads, the results are taken in the same order and are the same.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <type_traits>
#include <vector>

#include "swde/file_grammar.h"
#include "swde/line.h"

namespace egib {

// Where the parts of a pass start: the first at first, then one at the
// first object head after every part_bytes.
std::vector<size_t> part_starts(std::span<const char> bytes, size_t first, size_t part_bytes);

struct PassEnd {
  GrammarEnd end{GrammarState::kTop, 0};
  int32_t last_line = 0;  // the number of the last line read
};

// run(LineReader&, Line&, GrammarState, Part&) -> GrammarEnd runs the pass
// over one part; take(Part&, int32_t line_base, size_t position) takes a
// part's result, line_base being the number of the line before the part's
// first line and position where the pass has got to; a take that returns
// false stops the pass there (the parts after it are not taken).
template <typename Part, typename Run, typename Take>
PassEnd run_in_parts(std::span<const char> bytes, size_t first, TextEncoding encoding, int threads,
                     size_t part_bytes, Run run, Take take) {
  const std::vector<size_t> starts = part_starts(bytes, first, part_bytes);
  const size_t n = starts.size();
  const auto stop_of = [&](size_t j) { return j + 1 < n ? starts[j + 1] : bytes.size() + 1; };

  // Workers run ahead of the taking thread by a few parts at most; the
  // results of the parts in flight live in a ring of slots, reused (with
  // their memory) from part to part.
  const size_t window = static_cast<size_t>(threads) * 2;
  struct Slot {
    Part part;
    GrammarEnd end{GrammarState::kTop, 0};
    size_t end_position = 0;
    int32_t lines = 0;
    size_t ready_part = SIZE_MAX;  // the part whose result the slot holds
  };
  std::vector<Slot> slots(std::min(n, window + 1));
  const auto slot_of = [&](size_t j) -> Slot& { return slots[j % slots.size()]; };
  const auto run_slot = [&](size_t j) {
    LineReader in(bytes, starts[j], stop_of(j), encoding);
    Line line;
    Slot& s = slot_of(j);
    s.part.clear();
    s.end = run(in, line, j == 0 ? GrammarState::kTop : GrammarState::kObjects, s.part);
    s.end_position = in.position();
    s.lines = in.lines_read();
  };

  std::mutex mutex;
  std::condition_variable changed;
  size_t next_part = 0;
  size_t taking = 0;
  bool cancelled = false;
  std::vector<std::thread> workers;
  if (threads > 1 && n > 1) {
    for (int w = 0; w < threads; ++w) {
      workers.emplace_back([&] {
        for (;;) {
          size_t j = 0;
          {
            std::unique_lock lock(mutex);
            changed.wait(
                lock, [&] { return cancelled || next_part >= n || next_part < taking + window; });
            if (cancelled || next_part >= n) return;
            j = next_part++;
          }
          run_slot(j);
          {
            const std::lock_guard lock(mutex);
            slot_of(j).ready_part = j;
          }
          changed.notify_all();
        }
      });
    }
  }

  PassEnd result;
  GrammarState state = GrammarState::kTop;
  size_t position = first;
  int32_t line_base = 1;  // the header is line 1
  for (size_t j = 0; j < n && state != GrammarState::kDone; ++j) {
    if (workers.empty()) {
      run_slot(j);
    } else {
      std::unique_lock lock(mutex);
      taking = j;
      changed.notify_all();
      changed.wait(lock, [&] { return slot_of(j).ready_part == j; });
    }
    Slot& s = slot_of(j);
    const GrammarState assumed = j == 0 ? GrammarState::kTop : GrammarState::kObjects;
    if (position != starts[j] || state != assumed) {
      // The part before ran over this one's start: this part again, from
      // where that one ended, into its slot.
      LineReader in(bytes, position, stop_of(j), encoding);
      Line line;
      s.part.clear();
      s.end = run(in, line, state, s.part);
      s.end_position = in.position();
      s.lines = in.lines_read();
    }
    if constexpr (std::is_same_v<std::invoke_result_t<Take&, Part&, int32_t, size_t>, bool>) {
      if (!take(s.part, line_base, s.end_position)) {
        result.end = s.end;
        line_base += s.lines;
        break;
      }
    } else {
      take(s.part, line_base, s.end_position);
    }
    state = s.end.state;
    result.end = s.end;
    position = s.end_position;
    line_base += s.lines;
  }
  if (!workers.empty()) {
    {
      const std::lock_guard lock(mutex);
      cancelled = true;
    }
    changed.notify_all();
    for (std::thread& t : workers) t.join();
  }
  result.last_line = line_base;
  return result;
}

}  // namespace egib
