#pragma once

// The page and the panels around it stay disabled while long page work runs
// (printing a page, building a contact-sheet page), and come back however
// that work ends. `Host` has SetPageBusy(bool) and ProcessEvents().

namespace lumaset {

template <typename Host>
class PageBusy {
 public:
  explicit PageBusy(Host& host) : host_(host) {
    host_.SetPageBusy(true);
    host_.ProcessEvents();
  }
  ~PageBusy() {
    host_.SetPageBusy(false);
    host_.ProcessEvents();
  }
  PageBusy(const PageBusy&) = delete;
  PageBusy& operator=(const PageBusy&) = delete;

 private:
  Host& host_;
};

}  // namespace lumaset
