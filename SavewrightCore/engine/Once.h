#pragma once
// Lets the first of several racing completions act; the others do nothing.

#include <atomic>

class Once {
  public:
    // True for the first caller only.
    bool claim() { return !done_.exchange(true); }

  private:
    std::atomic<bool> done_{false};
};
