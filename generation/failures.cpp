#include "generation/failures.h"

#include "generation/generation_state.h"

void ReportFailure(PlatformWindow* owner, const std::string& text, const std::string& title,
                   BoxIcon icon) {
  State.FailureReported = true;
  ShowMessageBox(owner, text, title, icon);
}
