// The reader's rows queued for the dialog's thread.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <vector>

#include "library/model.h"
#include "library/reader.h"

namespace rewindor {

// A sink that queues what it hears and calls `notify` (on the reader's
// thread) so that the dialog's thread takes it: the dialog posts a message to
// its window in `notify` and calls Drain when the message arrives. One inbox
// a reading: a reading stopped may have left rows in its inbox, so the next
// reading gets a new one.
class LibraryInbox final : public LibrarySink {
 public:
  explicit LibraryInbox(std::function<void()> notify) : notify_(std::move(notify)) {}

  void Listed(const LibraryListing& listing) override;
  void RowRead(LibraryRow row) override;
  void Finished() override;

  // Applies what was queued to the model, in the order heard; true when anything was.
  bool Drain(LibraryModel& model);

 private:
  std::mutex mutex_;
  bool listed_ = false;
  std::size_t total_ = 0, unreadable_ = 0;
  std::vector<LibraryRow> rows_;
  bool finished_ = false;
  std::function<void()> notify_;
};

}  // namespace rewindor
