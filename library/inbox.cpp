#include "library/inbox.h"

#include <utility>

namespace rewindor {

void LibraryInbox::Listed(const LibraryListing& listing) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    listed_ = true;
    total_ = listing.demos.size();
    unreadable_ = listing.unreadable.size();
  }
  notify_();
}

void LibraryInbox::RowRead(LibraryRow row) {
  bool first;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    first = rows_.empty();
    rows_.push_back(std::move(row));
  }
  if (first) notify_();  // one message for the rows that pile up before the dialog takes them
}

void LibraryInbox::Finished() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  notify_();
}

bool LibraryInbox::Drain(LibraryModel& model) {
  bool listed, finished;
  std::size_t total, unreadable;
  std::vector<LibraryRow> rows;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    listed = std::exchange(listed_, false);
    finished = std::exchange(finished_, false);
    total = total_;
    unreadable = unreadable_;
    rows.swap(rows_);
  }
  const bool read = !rows.empty();
  if (listed) model.Restart(total, unreadable);
  model.PutAll(std::move(rows));
  if (finished) model.Finish();
  return listed || finished || read;
}

}  // namespace rewindor
