#pragma once
// Whoever watches a run: the console's status dialog, the remote service
// streaming to its client, or nobody on the command line. Engines report
// their progress bar, wait cursor and end through this interface and never
// touch a window; the console maps the calls onto its dialog's controls.
// Calls come from the run's thread; an implementation that shows them in a
// window hands them to its window thread.
#include <string_view>

namespace omb {

class ProgressObserver {
 public:
  virtual ~ProgressObserver() = default;
  // One piece of progress text, exactly as emitted.
  virtual void Text(std::string_view piece) = 0;
  // The progress bar's range and the size of one Step().
  virtual void Range(int low, int high, int step) = 0;
  virtual void Step() = 0;
  virtual void Position(int position) = 0;
  // The wait cursor while the run works.
  virtual void Busy(bool busy) = 0;
  // The run has ended (ok: it did everything it promised); the dialog may
  // offer printing and closing again.
  virtual void Finished(bool ok) = 0;
};

}  // namespace omb
